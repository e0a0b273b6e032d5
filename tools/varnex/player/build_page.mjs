// Build step: bundles player.js with three.js, gzips it into the page
// template as base64 with a few lines that unpack it in the browser, and
// writes the page as a C++ string for varnex (node build_page.mjs OUT.cpp).
import { build } from 'esbuild';
import { readFileSync, writeFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { gzipSync } from 'node:zlib';

const here = dirname(fileURLToPath(import.meta.url));
const out = process.argv[2];

const bundle = await build({
  entryPoints: [join(here, 'player.js')],
  bundle: true,
  minify: true,
  format: 'iife',
  target: 'es2020',
  write: false,
  logLevel: 'warning',
});
const code = bundle.outputFiles[0].text;
const packed = gzipSync(code, { level: 9 }).toString('base64');

// DecompressionStream is in every current browser; the unpacked script runs
// inline, so the page loads nothing.
const boot = `(async()=>{try{` +
  `const b=Uint8Array.from(atob("${packed}"),c=>c.charCodeAt(0));` +
  `const s=document.createElement("script");` +
  `s.textContent=await new Response(new Blob([b]).stream().pipeThrough(new DecompressionStream("gzip"))).text();` +
  `document.body.append(s)}catch(e){document.getElementById("message").textContent=` +
  `"This browser cannot run the player: "+e.message;console.error("varnex player:",e)}})()`;

const page = readFileSync(join(here, 'page.html'), 'utf8').replace('{{script}}', () => boot);

// One literal per line of the page, long lines cut, so that no compiler
// meets a literal of hundreds of kilobytes.
const literals = [];
for (const line of page.split(/(?<=\n)/)) {
  for (let i = 0; i < line.length; i += 4000) {
    const piece = line.slice(i, i + 4000).replace(/\\/g, '\\\\').replace(/"/g, '\\"').replace(/\n/g, '\\n')
      .replace(/\?/g, '\\?');
    literals.push(`    "${piece}"`);
  }
}
writeFileSync(out, `// Made by tools/varnex/player/build_page.mjs from page.html and player.js; do not edit.
#include "player/player_page.h"

namespace varnex {

const char kPlayerPage[] =
${literals.join('\n')};

}  // namespace varnex
`);
console.log(`player page: script ${code.length} bytes, packed ${packed.length}, page ${page.length}`);
