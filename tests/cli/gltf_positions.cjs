// Checks that one animation of a binary glTF file moves every node where
// varnex's --positions CSV says, at every frame: reads the .glb and the CSV,
// writes nothing. Usage:
//   node gltf_positions.cjs FILE.glb ANIMATION POSITIONS.csv FRAME_RATE TOLERANCE
// The CSV's time column is used when it has one, else frame / FRAME_RATE.
'use strict';
const fs = require('fs');

const [file, animationName, csvFile, rateText, toleranceText] = process.argv.slice(2);
const glb = fs.readFileSync(file);
const jsonLength = glb.readUInt32LE(12);
const doc = JSON.parse(glb.toString('utf8', 20, 20 + jsonLength));
const binStart = 20 + jsonLength + 8;

// Floats, or normalized signed shorts read as c / 32767 (not below -1), as
// viewers read them.
const readers = {
  5126: { bytes: 4, read: (at) => glb.readFloatLE(at) },
  5122: { bytes: 2, read: (at) => Math.max(glb.readInt16LE(at) / 32767, -1) },
};
function accessorValues(index) {
  const accessor = doc.accessors[index];
  const view = doc.bufferViews[accessor.bufferView];
  const width = { SCALAR: 1, VEC3: 3, VEC4: 4 }[accessor.type];
  const reader = readers[accessor.componentType];
  if (!reader || (accessor.componentType !== 5126 && !accessor.normalized)) {
    throw new Error(`accessor ${index}: component type ${accessor.componentType} is not read here`);
  }
  const start = binStart + (view.byteOffset || 0) + (accessor.byteOffset || 0);
  const stride = view.byteStride || width * reader.bytes;
  const values = [];
  for (let i = 0; i < accessor.count; i++) {
    const item = [];
    for (let c = 0; c < width; c++) item.push(reader.read(start + i * stride + c * reader.bytes));
    values.push(item);
  }
  return values;
}

function lerp(a, b, t) { return a.map((v, i) => v + (b[i] - v) * t); }
function slerp(a, b, t) {
  let dot = a.reduce((s, v, i) => s + v * b[i], 0);
  if (dot < 0) { b = b.map((v) => -v); dot = -dot; }
  if (dot > 0.9995) { const q = lerp(a, b, t); const n = Math.hypot(...q); return q.map((v) => v / n); }
  const angle = Math.acos(dot), s = Math.sin(angle);
  const wa = Math.sin((1 - t) * angle) / s, wb = Math.sin(t * angle) / s;
  return a.map((v, i) => v * wa + b[i] * wb);
}
function sample(sampler, path, time) {
  const times = sampler.input, values = sampler.output;
  if (time <= times[0][0]) return values[0];
  const last = times.length - 1;
  if (time >= times[last][0]) return values[last];
  let k = 0, high = last;  // times[k] < time <= times[high]
  while (high - k > 1) { const mid = (k + high) >> 1; if (times[mid][0] < time) k = mid; else high = mid; }
  if (sampler.interpolation === 'STEP') return values[k];
  const t = (time - times[k][0]) / (times[k + 1][0] - times[k][0]);
  return path === 'rotation' ? slerp(values[k], values[k + 1], t) : lerp(values[k], values[k + 1], t);
}

// Column-major 4x4 from translation, rotation (x, y, z, w), scale.
function compose(t, q, s) {
  const [x, y, z, w] = q;
  return [
    (1 - 2 * (y * y + z * z)) * s[0], 2 * (x * y + z * w) * s[0], 2 * (x * z - y * w) * s[0], 0,
    2 * (x * y - z * w) * s[1], (1 - 2 * (x * x + z * z)) * s[1], 2 * (y * z + x * w) * s[1], 0,
    2 * (x * z + y * w) * s[2], 2 * (y * z - x * w) * s[2], (1 - 2 * (x * x + y * y)) * s[2], 0,
    t[0], t[1], t[2], 1];
}
function multiply(a, b) {
  const r = new Array(16).fill(0);
  for (let c = 0; c < 4; c++) for (let row = 0; row < 4; row++)
    for (let k = 0; k < 4; k++) r[c * 4 + row] += a[k * 4 + row] * b[c * 4 + k];
  return r;
}

const animation = (doc.animations || []).find((a) => a.name === animationName);
if (!animation) {
  console.error(`${file}: no animation named ${animationName}; it has ${(doc.animations || []).map((a) => a.name)}`);
  process.exit(1);
}
const channels = animation.channels.map((channel) => {
  const sampler = animation.samplers[channel.sampler];
  return { node: channel.target.node, path: channel.target.path, interpolation: sampler.interpolation || 'LINEAR',
    input: accessorValues(sampler.input), output: accessorValues(sampler.output) };
});
const parents = new Array(doc.nodes.length).fill(-1);
doc.nodes.forEach((node, i) => (node.children || []).forEach((c) => (parents[c] = i)));
const paths = doc.nodes.map((_, i) => { const names = []; for (let n = i; n >= 0; n = parents[n]) names.unshift(doc.nodes[n].name); return names.join('/'); });

function worldPositions(time) {
  const world = new Array(doc.nodes.length);
  const done = new Array(doc.nodes.length).fill(false);
  function at(i) {
    if (done[i]) return world[i];
    const node = doc.nodes[i];
    const trs = { translation: node.translation || [0, 0, 0], rotation: node.rotation || [0, 0, 0, 1], scale: node.scale || [1, 1, 1] };
    for (const channel of channels) if (channel.node === i) trs[channel.path] = sample(channel, channel.path, time);
    const local = compose(trs.translation, trs.rotation, trs.scale);
    world[i] = parents[i] < 0 ? local : multiply(at(parents[i]), local);
    done[i] = true;
    return world[i];
  }
  const byPath = new Map();
  doc.nodes.forEach((_, i) => { const m = at(i); byPath.set(paths[i], [m[12], m[13], m[14]]); });
  return byPath;
}

const lines = fs.readFileSync(csvFile, 'utf8').trim().split('\n');
const header = lines[0].split(',');
const column = (name) => header.indexOf(name);
const rate = Number(rateText), tolerance = Number(toleranceText);
let worst = 0, rows = 0, missing = 0, cachedTime = null, cached = null;
for (const line of lines.slice(1)) {
  const fields = line.split(',');
  const time = column('time') >= 0 ? Number(fields[column('time')]) : Number(fields[column('frame')]) / rate;
  if (time !== cachedTime) { cachedTime = time; cached = worldPositions(time); }
  const expected = ['x', 'y', 'z'].map((axis) => Number(fields[column(axis)]));
  const got = cached.get(fields[column('path')]);
  if (!got) { missing++; continue; }
  worst = Math.max(worst, Math.hypot(...got.map((v, i) => v - expected[i])));
  rows++;
}
console.log(`${animationName}: ${rows} rows, largest distance ${worst.toExponential(3)}, ${missing} paths not in the file`);
process.exit(rows > 0 && missing === 0 && worst <= tolerance ? 0 : 1);
