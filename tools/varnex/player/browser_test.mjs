// The player and the gallery in a real browser: Debian's chromium, headless,
// driven by puppeteer-core (which downloads no browser). For a BVH take, a
// page of two Acclaim takes of its own (exact) and the two Acclaim takes of
// our samples (compact): the page loads offline without errors, plays
// unasked, draws, and each take's joints match its own --positions at three
// frames. Takes that travel far (our sample walk walked on, and a real long
// take when MOCAP_DIR has it): the follow camera keeps the figure about half
// the view's height, and the whole-path view holds both ends of the path.
// Then the gallery of the first two (the Acclaim takes merged) opens each.
// The screenshot is of the samples' page, whose take drop-down it shows.
// Usage: [MOCAP_DIR=DIR] node browser_test.mjs VARNEX SAMPLES_DIR WORK_DIR [SCREENSHOT.png]
import { execFileSync } from 'node:child_process';
import { existsSync, mkdirSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { basename, join, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';

const [varnex, samples, workArg, screenshot] = process.argv.slice(2);
const work = resolve(workArg);
const kSkip = 77;

const browserPath = process.env.VARNEX_CHROMIUM || '/usr/bin/chromium';
if (!existsSync(browserPath)) {
  console.log(`SKIP: no browser at ${browserPath} (scripts/setup.sh installs Debian's chromium)`);
  process.exit(kSkip);
}
let puppeteer;
try {
  puppeteer = (await import('puppeteer-core')).default;
} catch {
  console.log('SKIP: puppeteer-core is not installed (scripts/setup.sh runs npm ci in tools/varnex/player)');
  process.exit(kSkip);
}

let failures = 0, passes = 0;
function check(ok, what) {
  if (ok) ++passes;
  else ++failures, console.log(`FAIL: ${what}`);
  return ok;
}

// Our own Acclaim skeleton, three bones off the root, with two takes: bent
// over 24 frames, and otherwise over 17.
function writeAcclaimTakes(dir) {
  const bone = (id, name, direction, length, axis, dof) =>
    `  begin\n    id ${id}\n    name ${name}\n    direction ${direction}\n    length ${length}\n` +
    `    axis ${axis} XYZ\n    dof ${dof}\n  end\n`;
  writeFileSync(join(dir, 'reach.asf'),
    ':version 1.10\n:name reach\n:units\n  mass 1.0\n  length 1.0\n  angle deg\n' +
    ':root\n  order TX TY TZ RX RY RZ\n  axis XYZ\n  position 0 0 0\n  orientation 0 0 0\n:bonedata\n' +
    bone(1, 'spine', '0 1 0', 3, '0 0 10', 'rx ry rz') +
    bone(2, 'arm', '1 0 0', 2, '0 30 0', 'rx rz') +
    bone(3, 'hand', '1 0.2 0', 0.7, '15 0 0', 'rx') +
    ':hierarchy\n  begin\n    root spine\n    spine arm\n    arm hand\n  end\n');
  for (const [file, frames, pace] of [['reach.amc', 24, 1], ['reach_2.amc', 17, -2.5]]) {
    let amc = ':FULLY-SPECIFIED\n:DEGREES\n';
    for (let f = 1; f <= frames; ++f) {
      const s = Math.sin((pace * f) / 4), c = Math.cos(f / 5);
      amc += `${f}\nroot ${(0.1 * pace * f).toFixed(3)} ${(2 + 0.2 * s).toFixed(3)} 0 0 ${(3 * f).toFixed(2)} 0\n` +
        `spine ${(20 * s).toFixed(2)} ${(10 * c).toFixed(2)} ${(5 * s).toFixed(2)}\n` +
        `arm ${(40 * c).toFixed(2)} ${(30 * s).toFixed(2)}\nhand ${(60 * s).toFixed(2)}\n`;
    }
    writeFileSync(join(dir, file), amc);
  }
}

// Our sample walk, whose ten frames make one stride of 12 units, walked on
// for 60 strides: 720 units, eleven times the figure's height.
function writeFarWalk(samples, file) {
  const [hierarchy, motion] = readFileSync(join(samples, 'walk.bvh'), 'utf8').split('MOTION\n');
  const [, frameTime, ...stride] = motion.trim().split('\n');
  const rows = [];
  for (let k = 0; k < 60; ++k) {
    for (const row of stride) {
      const values = row.trim().split(/\s+/).map(Number);
      values[2] += 12 * k;
      rows.push(values.join(' '));
    }
  }
  writeFileSync(file, `${hierarchy}MOTION\nFrames: ${rows.length}\n${frameTime}\n${rows.join('\n')}\n`);
}

// --positions as frame -> path -> [x, y, z], by the header's column names;
// the path runs up to x, y and z, which end each row.
function readPositions(csv) {
  const [header, ...rows] = readFileSync(csv, 'utf8').trim().split('\n');
  const columns = header.split(',');
  const frameAt = columns.indexOf('frame'), pathAt = columns.indexOf('path');
  const frames = [];
  for (const row of rows) {
    const fields = row.split(',');
    const [x, y, z] = fields.slice(-3).map(Number);
    const frame = Number(fields[frameAt]);
    (frames[frame] ||= new Map()).set(fields.slice(pathAt, -3).join(','), [x, y, z]);
  }
  return frames;
}

function skeletonHeight(frames) {
  let lo = Infinity, hi = -Infinity;
  for (const frame of frames) for (const [, p] of frame) lo = Math.min(lo, p[1]), hi = Math.max(hi, p[1]);
  return hi > lo ? hi - lo : 1;
}

// Opens a page and records what must not happen on it. Requests for files
// other than the pages themselves count unless allowed.
async function openPage(browser, url, allowed = () => false) {
  const page = await browser.newPage();
  const problems = [];
  page.on('console', (m) => m.type() === 'error' && problems.push(`console error: ${m.text()}`));
  page.on('pageerror', (e) => problems.push(`page error: ${e.message}`));
  page.on('request', (r) => {
    if (!(r.isNavigationRequest() && r.url().startsWith('file:')) && !allowed(r.url())) problems.push(`request: ${r.url().slice(0, 80)}`);
  });
  await page.setViewport({ width: 1000, height: 640 });
  await page.goto(url, { waitUntil: 'load' });
  return { page, problems };
}

async function waitForPlayer(page) {
  await page.waitForFunction(
    () => window.varnexPlayer || getComputedStyle(document.getElementById('message')).display !== 'none' &&
      !document.getElementById('message').textContent.startsWith('Loading'),
    { timeout: 60000 });
  return page.evaluate(() => Boolean(window.varnexPlayer));
}

// Share of the canvas's pixels that differ from its background colour.
const drawnShare = (page) => page.evaluate(() => {
  const canvas = document.querySelector('#view canvas');
  const copy = document.createElement('canvas');
  copy.width = canvas.width, copy.height = canvas.height;
  const context = copy.getContext('2d');
  context.drawImage(canvas, 0, 0);
  const data = context.getImageData(0, 0, copy.width, copy.height).data;
  let drawn = 0;
  for (let i = 0; i < data.length; i += 4) {
    if (Math.abs(data[i] - 244) + Math.abs(data[i + 1] - 245) + Math.abs(data[i + 2] - 247) > 24) ++drawn;
  }
  return drawn / (data.length / 4);
});

// Playing starts when the page opens: the clock moves without a click.
async function checkPlays(page, name) {
  const moved = await page.waitForFunction(() => window.varnexPlayer.playing && window.varnexPlayer.state().frame > 0,
    { timeout: 20000 }).then(() => true, () => false);
  check(moved, `${name}: the take did not start playing`);
}

async function showFrame(page, frame) {
  await page.$eval('#time', (slider, f) => {
    slider.value = String(f);
    slider.dispatchEvent(new Event('input'));
  }, frame);
  return page.evaluate(() => window.varnexPlayer.state());
}

// csvs: each take's own --positions, in the page's order of takes. Each
// later take is chosen with the keyboard on the drop-down while the one
// before stands at its last frame, so that a switch must start it afresh;
// the hook then goes back to the first.
// A compact animation keeps every joint within 1e-3 of the skeleton's size
// (docs/export.md); an exact one only rounds to floats.
async function checkPlayer(browser, name, html, csvs, exact) {
  const { page, problems } = await openPage(browser, pathToFileURL(html).href);
  if (!check(await waitForPlayer(page), `${name}: the player did not start`)) {
    console.log(problems.join('\n'));
    return page;
  }
  check(await drawnShare(page) > 0.002, `${name}: the canvas is blank`);
  await checkPlays(page, name);
  await showFrame(page, 0);
  const takes = await page.evaluate(() => window.varnexPlayer.takes);
  check(takes.length === csvs.length, `${name}: ${takes.length} takes, not ${csvs.length}`);
  check(await page.$eval('#take-choice', (label) => label.hidden) === (csvs.length < 2),
    `${name}: the take drop-down is ${csvs.length < 2 ? 'shown' : 'hidden'}`);
  for (const [k, csv] of csvs.entries()) {
    const expected = readPositions(csv);
    const tolerance = (exact ? 1e-4 : 1e-3) * skeletonHeight(expected);
    const what = `${name}: take ${takes[k]}`;
    if (k > 0) {
      await page.focus('#take');
      await page.keyboard.press('ArrowDown');
    }
    const figures = await page.evaluate(() => ({ ...window.varnexPlayer, state: window.varnexPlayer.state() }));
    check(figures.take === k && figures.state.frame === 0, `${what}: showed take ${figures.take} at frame ${figures.state.frame}`);
    check(figures.frameCount === expected.length, `${what}: ${figures.frameCount} frames, --positions has ${expected.length}`);
    const header = await page.$eval('#figures', (e) => e.textContent);
    check(header.includes(` ${expected.length} frames`), `${what}: the header says ${header}`);
    for (const frame of [0, Math.floor(expected.length / 2), expected.length - 1]) {
      const state = await showFrame(page, frame);
      check(state.frame === frame, `${what}: the slider showed frame ${state.frame}, not ${frame}`);
      const shown = new Map(state.joints.map((j) => [j.path, j.position]));
      let worst = 0, worstPath = '';
      for (const [path, p] of expected[frame]) {
        if (!check(shown.has(path), `${what}: frame ${frame}: the page has no joint ${path}`)) continue;
        const q = shown.get(path);
        const d = Math.max(...p.map((v, i) => Math.abs(v - q[i])));
        if (d > worst) worst = d, worstPath = path;
      }
      check(worst <= tolerance, `${what}: frame ${frame}: ${worstPath} is ${worst} off (allowed ${tolerance})`);
      console.log(`${what}: frame ${frame}: ${expected[frame].size} joints within ${worst.toExponential(2)}`);
    }
  }
  if (csvs.length > 1) {
    const back = await page.evaluate(() => {
      window.varnexPlayer.showTake(0);
      return { take: window.varnexPlayer.take, frames: window.varnexPlayer.frameCount };
    });
    check(back.take === 0 && back.frames === readPositions(csvs[0]).length, `${name}: back to take ${back.take}, ${back.frames} frames`);
  }
  await new Promise((r) => setTimeout(r, 200));
  check(problems.length === 0, `${name}: ${problems.join('; ')}`);
  return page;
}

// At the first and last frames, the figure's height on screen as a share of
// the view's, and whether every joint is in the view: as the page opens, the
// follow camera keeps the figure about half the view's height; zoomed out by
// the wheel, it keeps the new distance; the whole-path view holds both ends.
const views = [
  ['follow', () => {}, 0.35, 0.65],
  ['follow zoomed out', async (page) => {
    const box = await page.$eval('#view', (view) => view.getBoundingClientRect().toJSON());
    await page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
    for (let i = 0; i < 3; ++i) await page.mouse.wheel({ deltaY: 500 });
  }, 0.1, 0.35],
  ['whole path', (page) => page.select('#camera', 'path'), 0, 1],
];
async function checkCamera(browser, name, html) {
  const { page, problems } = await openPage(browser, pathToFileURL(html).href);
  if (check(await waitForPlayer(page), `${name}: the player did not start`)) {
    await checkPlays(page, name);
    const last = await page.evaluate(() => window.varnexPlayer.frameCount - 1);
    for (const [camera, use, low, high] of views) {
      await use(page);
      for (const frame of [0, last]) {
        const { view: [width, height], joints } = await showFrame(page, frame);
        const screen = joints.filter((joint) => joint.shown).map((joint) => joint.screen);
        const inside = screen.every((p) => p && p[0] >= 0 && p[0] <= width && p[1] >= 0 && p[1] <= height);
        const ys = screen.filter(Boolean).map((p) => p[1]);
        const share = (Math.max(...ys) - Math.min(...ys)) / height;
        const what = `${name}: camera ${camera}: frame ${frame}: the figure is ${(100 * share).toFixed(0)} % of the view's height`;
        check(inside, `${what}, and a joint is out of the ${width}x${height} view`);
        check(share >= low && share <= high, what);
        console.log(what);
      }
    }
  }
  check(problems.length === 0, `${name}: ${problems.join('; ')}`);
  await page.close();
}

rmSync(work, { recursive: true, force: true });
mkdirSync(work, { recursive: true });
const acclaim = join(work, 'acclaim');
mkdirSync(acclaim);
writeAcclaimTakes(acclaim);
// Pages: a name, the files of its takes, the settings, and each take's files
// alone, whose --positions it must match. VARNEX_PLAYER_TAKES=a.bvh:b.asf
// checks other files, a page each, instead of ours. The Acclaim takes are
// scaled and turned, which the player and --positions share.
const compresses = !execFileSync(varnex, ['import', '--help'], { encoding: 'utf8' }).includes('Unavailable');
const skeleton = join(acclaim, 'reach.asf');
const figure = join(samples, 'figure.asf');
const figureTakes = ['figure.amc', 'figure_bow.amc'].map((amc) => join(samples, amc));
const pages = process.env.VARNEX_PLAYER_TAKES
  ? process.env.VARNEX_PLAYER_TAKES.split(':').map((file) => [basename(file).replace(/\.[^.]*$/, ''), [file], [], [[file]]])
  : [['wave', [join(samples, 'wave.bvh')], [], [[join(samples, 'wave.bvh')]]],
    ['reach', [skeleton, join(acclaim, 'reach.amc'), join(acclaim, 'reach_2.amc')],
      ['--scale', '2', '--up', 'z', '--frame-rate', '30', '--exact'],
      ['reach.amc', 'reach_2.amc'].map((amc) => ['--skeleton', skeleton, join(acclaim, amc)])],
    ['figure', ['--skeleton', figure, ...figureTakes], ['--frame-rate', '30'],
      figureTakes.map((amc) => ['--skeleton', figure, amc])],
    // Compressed, where this varnex can: the player decodes it.
    ...(compresses ? [['wave_compressed', [join(samples, 'wave.bvh')], ['--compress'], [[join(samples, 'wave.bvh')]]]] : [])];
const farWalk = join(work, 'far_walk.bvh');
writeFarWalk(samples, farWalk);
const longTake = join(process.env.MOCAP_DIR || '', 'bvh', 'cmu_cgspeed_01_01.bvh');
const travels = [['far_walk', farWalk], ...(process.env.MOCAP_DIR && existsSync(longTake) ? [['cmu_01_01', longTake]] : [])];

const browser = await puppeteer.launch({
  executablePath: browserPath,
  headless: true,
  args: ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--disable-gpu-sandbox'],
});
try {
  for (const [name, inputs, settings, alone] of pages) {
    const html = join(work, `${name}.html`);
    execFileSync(varnex, ['import', ...inputs, '-q', ...settings, '--preview', html], { stdio: 'inherit' });
    const csvs = alone.map((files, k) => {
      const csv = join(work, `${name}-${k}.csv`);
      execFileSync(varnex, ['import', ...files, '-q', ...settings, '--positions', csv], { stdio: 'inherit' });
      return csv;
    });
    const page = await checkPlayer(browser, name, html, csvs, settings.includes('--exact'));
    if (screenshot && name === 'figure') {
      await page.$eval('#trail', (select) => {
        select.value = [...select.options].find((option) => option.text === 'rradius').value;
        select.dispatchEvent(new Event('change'));
      });
      await showFrame(page, 14);
      await page.screenshot({ path: screenshot });
      console.log(`screenshot: ${screenshot}`);
    }
    await page.close();
  }
  for (const [name, take] of travels) {
    const html = join(work, `${name}.html`);
    execFileSync(varnex, ['import', take, '-q', '--preview', html], { stdio: 'inherit' });
    await checkCamera(browser, name, html);
  }

  // The Acclaim takes merge into one output, whose card lists both and
  // whose player offers both.
  const out = join(work, 'gallery');
  const inputs = process.env.VARNEX_PLAYER_TAKES ? pages.map(([, [file]]) => file) : [join(samples, 'wave.bvh'), acclaim];
  execFileSync(varnex, ['convert', ...inputs, '--out-dir', out, '--gallery', '--merge'],
    { stdio: ['ignore', 'pipe', 'pipe'] });
  const beside = pathToFileURL(out).href + '/';
  const { page, problems } = await openPage(browser, beside + 'index.html', (url) => url.startsWith(beside));
  const cards = await page.$$eval('.card', (all) => all.map((card) => ({
    link: card.querySelector('a')?.href,
    thumbnail: card.querySelector('img')?.naturalWidth > 0,
    text: card.textContent,
  })));
  check(cards.length === inputs.length, `gallery: ${cards.length} cards for ${inputs.length} inputs`);
  for (const [i, card] of cards.entries()) {
    check(card.thumbnail, `gallery: card ${i} shows no thumbnail`);
    check(/\d+ joints/.test(card.text) && /\d s\b/.test(card.text), `gallery: card ${i} says ${card.text}`);
    const merged = card.text.includes('reach_2.amc');
    if (merged) check(/2 takes.*reach\.amc · 0\.77 s.*reach_2\.amc · 0\.53 s/.test(card.text), `gallery: card ${i} says ${card.text}`);
    await Promise.all([page.waitForNavigation(), page.click(`.card:nth-child(${i + 1}) a`)]);
    if (check(await waitForPlayer(page), `gallery: ${card.link} did not start its player`)) {
      const count = await page.evaluate(() => window.varnexPlayer.takes.length);
      check(count === (merged ? 2 : 1), `gallery: ${card.link} plays ${count} takes`);
    }
    await page.goBack();
  }
  check(problems.length === 0, `gallery: ${problems.join('; ')}`);
} finally {
  await browser.close();
}
console.log(`${passes} passed, ${failures} failed`);
process.exit(failures ? 1 : 0);
