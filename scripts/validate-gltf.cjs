// Runs the Khronos glTF validator over .glb/.gltf files and prints one line
// per file. Exits 1 when any file has an error or a warning, 2 when the
// validator cannot be found. The validator is looked up in GLTF_VALIDATOR_DIR
// (a folder where `npm install gltf-validator` was run), then as usual.
'use strict';
const fs = require('fs');
const path = require('path');

function loadValidator() {
  const places = [process.env.GLTF_VALIDATOR_DIR, process.cwd()].filter(Boolean);
  try {
    return require(require.resolve('gltf-validator', { paths: places }));
  } catch (e) {
    console.error('validate-gltf: gltf-validator is not installed (npm install gltf-validator)');
    process.exit(2);
  }
}

async function main() {
  const files = process.argv.slice(2);
  if (files.length === 0) {
    console.error('usage: node validate-gltf.cjs FILE.glb|FILE.gltf ...');
    process.exit(2);
  }
  const validator = loadValidator();
  let bad = 0;
  for (const file of files) {
    const bytes = new Uint8Array(fs.readFileSync(file));
    const report = await validator.validateBytes(bytes, {
      uri: path.basename(file),
      maxIssues: 50,
      externalResourceFunction: (uri) =>
        fs.promises.readFile(path.resolve(path.dirname(file), decodeURIComponent(uri))).then((b) => new Uint8Array(b)),
    });
    const i = report.issues;
    console.log(`${file}: ${i.numErrors} errors, ${i.numWarnings} warnings, ${i.numInfos} infos, ${i.numHints} hints`);
    for (const m of i.messages) {
      if (m.severity <= 1) console.log(`  ${m.severity === 0 ? 'error' : 'warning'} ${m.code} ${m.pointer || ''}: ${m.message}`);
    }
    if (i.numErrors > 0 || i.numWarnings > 0) bad++;
  }
  console.log(`${files.length - bad} passed, ${bad} failed`);
  process.exit(bad > 0 ? 1 : 0);
}

main().catch((e) => {
  console.error('validate-gltf: ' + e);
  process.exit(2);
});
