// The player page's script: reads the takes' figures and their glb from the
// page itself, plays one take's animation at a time on a grid (a drop-down
// chooses among several), and offers a read-only hook (window.varnexPlayer)
// that tests read the joints through.
import {
  AmbientLight, AnimationMixer, Box3, BufferGeometry, Color, DirectionalLight, Float32BufferAttribute,
  GridHelper, InstancedMesh, Line, LineBasicMaterial, Matrix4, MeshBasicMaterial, PerspectiveCamera, Scene,
  SphereGeometry, Vector2, Vector3, WebGLRenderer,
} from 'three';
import { GLTFLoader } from 'three/addons/loaders/GLTFLoader.js';
import { OrbitControls } from 'three/addons/controls/OrbitControls.js';
// Bundled with the page: a take written with --compress decodes offline.
import { MeshoptDecoder } from 'three/addons/libs/meshopt_decoder.module.js';

const $ = (id) => document.getElementById(id);
// The page's heading, and each take: its file, figures and the index of its
// animation in the glb (-1 when it moves nothing).
const { heading, takes } = JSON.parse($('varnex-take').textContent);

function fail(text) {
  $('message').textContent = text;
  $('message').style.display = 'flex';
  console.error(`varnex player: ${text}`);
}

function glbBytes() {
  const text = $('varnex-glb').textContent.trim();
  const binary = atob(text);
  const bytes = new Uint8Array(binary.length);
  for (let i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
  return bytes.buffer;
}

// The joints are the skin's joints, every imported instance; a take without
// bones has no skin, and then every node is one.
function jointsOf(gltf) {
  const parser = gltf.parser;
  const skin = (parser.json.skins || [])[0];
  const indices = new Set(skin ? skin.joints : parser.json.nodes.map((node, i) => i));
  const joints = [];
  gltf.scene.traverse((object) => {
    const association = parser.associations.get(object);
    if (association && indices.has(association.nodes)) joints.push({ object, index: association.nodes });
  });
  joints.sort((a, b) => a.index - b.index);
  // A joint's path names its joint ancestors, as --positions does, with the
  // file's names (the loader's object names are made safe for bindings).
  const nameOf = new Map(joints.map((j) => [j.object, parser.json.nodes[j.index].name ?? '']));
  for (const joint of joints) {
    const names = [];
    for (let o = joint.object; o; o = o.parent) if (nameOf.has(o)) names.unshift(nameOf.get(o));
    joint.path = names.join('/');
    joint.name = nameOf.get(joint.object);
  }
  // A still top node that only groups the skeleton gets no dot: it would
  // sit at the origin like a stray joint.
  const animated = new Set();
  for (const animation of parser.json.animations || []) {
    for (const channel of animation.channels) animated.add(channel.target.node);
  }
  for (const joint of joints) {
    const top = !nameOf.has(joint.object.parent);
    joint.shown = !(top && !animated.has(joint.index) && joint.object.children.some((c) => nameOf.has(c)));
  }
  return joints;
}

// A round step for the grid: 1, 2 or 5 times a power of ten.
function niceStep(span) {
  const power = 10 ** Math.floor(Math.log10(span));
  for (const m of [1, 2, 5]) if (m * power >= span) return m * power;
  return 10 * power;
}

function figureText(take, frameCount) {
  const rate = take.frameRate > 0 ? `${take.frameRate} fps` : 'no frame rate';
  return `${rate} · ${frameCount} frames · ${take.joints} joints`;
}

function start(gltf) {
  const view = $('view');
  const renderer = new WebGLRenderer({ antialias: true, preserveDrawingBuffer: true });
  renderer.setPixelRatio(window.devicePixelRatio);
  view.prepend(renderer.domElement);
  const scene = new Scene();
  scene.background = new Color(0xf4f5f7);
  scene.add(new AmbientLight(0xffffff, 1.2));
  const sun = new DirectionalLight(0xffffff, 2.0);
  sun.position.set(1, 2, 1.5);
  scene.add(sun);
  scene.add(gltf.scene);

  const mixer = new AnimationMixer(gltf.scene);
  const joints = jointsOf(gltf);

  // Each take's clock: its clip, rate, first and last time and frame count.
  const plays = takes.map((take) => {
    const clip = take.animation >= 0 ? gltf.animations[take.animation] : undefined;
    const rate = take.frameRate > 0 ? take.frameRate : 30;
    const first = take.start || 0;
    const last = clip ? Math.max(first, clip.duration) : first;
    const frameCount = take.frames > 0 ? take.frames : Math.round((last - first) * rate) + 1;
    return { take, clip, rate, first, last, frameCount };
  });
  let shown = 0, play = plays[0];
  const timeOf = (frame) => Math.min(play.last, play.first + frame / play.rate);
  const frameOf = (time) => Math.round((time - play.first) * play.rate);
  // Stopping a clip hands the nodes it alone moved back their rest pose.
  function useTake(index) {
    if (play.clip) mixer.clipAction(play.clip).stop();
    shown = index, play = plays[index];
    if (play.clip) mixer.clipAction(play.clip).play();
  }
  useTake(0);

  let time = play.first;
  function pose(t) {
    if (play.clip) {
      mixer.existingAction(play.clip).time = t;
      mixer.update(0);
    }
    gltf.scene.updateMatrixWorld(true);
  }
  const world = (joint) => joint.object.getWorldPosition(new Vector3());

  // The joints drawn as dots; a still top node that only groups is not part
  // of the figure.
  const dotted = joints.filter((joint) => joint.shown);
  const figureJoints = dotted.length ? dotted : joints;

  // Every take's extent sets the ground, the grid and the whole-path view;
  // the figure's own size, the largest of its sampled poses, sets the dots,
  // the grid's squares and the follow camera's distance. Both stay when
  // another take is chosen.
  const box = new Box3(), poseBox = new Box3(), poseSize = new Vector3();
  let tallest = 0, largest = 0;
  for (const [index, { frameCount }] of plays.entries()) {
    useTake(index);
    const samples = Math.min(frameCount, Math.max(60, Math.ceil(400 / plays.length)));
    for (let i = 0; i < samples; ++i) {
      pose(timeOf(samples > 1 ? (i * (frameCount - 1)) / (samples - 1) : 0));
      for (const joint of joints) box.expandByPoint(world(joint));
      poseBox.makeEmpty();
      for (const joint of figureJoints) poseBox.expandByPoint(world(joint));
      poseBox.getSize(poseSize);
      tallest = Math.max(tallest, poseSize.y), largest = Math.max(largest, poseSize.length());
    }
  }
  useTake(0);
  if (box.isEmpty()) box.set(new Vector3(-1, 0, -1), new Vector3(1, 1, 1));
  const size = box.getSize(new Vector3());
  const centre = box.getCenter(new Vector3());
  const extent = Math.max(size.length(), 1e-6);
  // A figure lying along the ground is framed by a third of its length.
  const figureHeight = Math.max(tallest, largest / 3) || extent;
  const figureSize = largest || extent;

  const step = niceStep(figureHeight / 4);
  const cells = 2 * Math.ceil((Math.max(size.x, size.z) / 2 + 2 * step) / step);
  const grid = new GridHelper(cells * step, cells, 0x8a94a6, 0xc8ccd4);
  grid.position.set(Math.round(centre.x / step) * step, box.min.y, Math.round(centre.z / step) * step);
  scene.add(grid);
  $('grid-unit').textContent = `grid: one square = ${step} units of the file`;

  // The follow camera looks at the centre of the figure's box, averaged over
  // a second around each time so that it glides instead of bobbing with each
  // step; the window narrows at the ends, where it is the frame's own centre.
  // Each take's track is made when the take is first shown.
  function track() {
    if (play.track) return play.track;
    const { frameCount, rate } = play;
    const samples = Math.min(frameCount, Math.max(60, Math.ceil(((frameCount - 1) / rate) * 10) + 1));
    const sums = [[0, 0, 0]];
    for (let i = 0; i < samples; ++i) {
      pose(timeOf(samples > 1 ? (i * (frameCount - 1)) / (samples - 1) : 0));
      poseBox.makeEmpty();
      for (const joint of figureJoints) poseBox.expandByPoint(world(joint));
      const c = poseBox.isEmpty() ? [0, 0, 0] : poseBox.getCenter(new Vector3()).toArray();
      sums.push(sums[i].map((sum, axis) => sum + c[axis]));
    }
    const span = (frameCount - 1) / rate;
    const reach = span > 0 ? Math.floor((0.5 * (samples - 1)) / span) : 0;
    const points = [];
    for (let i = 0; i < samples; ++i) {
      const k = Math.min(reach, i, samples - 1 - i);
      points.push(new Vector3(...sums[i + k + 1].map((sum, axis) => (sum - sums[i - k][axis]) / (2 * k + 1))));
    }
    play.track = { points, span };
    return play.track;
  }
  function trackPoint(t) {
    const { points, span } = track();
    const at = span > 0 ? (Math.min(Math.max(t - play.first, 0), span) / span) * (points.length - 1) : 0;
    const i = Math.min(Math.floor(at), points.length - 2);
    return i < 0 ? points[0].clone() : points[i].clone().lerp(points[i + 1], at - i);
  }

  const camera = new PerspectiveCamera(40, 1);
  const controls = new OrbitControls(camera, renderer.domElement);
  camera.position.set(0.55, 0.35, 1);
  // The figure stands half the view's height at this distance; the whole
  // path fits in the view at the other.
  const followDistance = figureHeight / Math.tan((camera.fov * Math.PI) / 360);
  const pathDistance = extent / 2 / Math.sin((camera.fov * Math.PI) / 360);
  // Looks at a point from a distance, along the direction the camera looks
  // now, so that a change of view keeps the user's orbit.
  function aim(point, distance) {
    const direction = camera.position.clone().sub(controls.target).normalize();
    controls.target.copy(point);
    camera.position.copy(point).addScaledVector(direction, distance);
    camera.near = distance / 1000;
    camera.far = 100 * (distance + extent);
    camera.updateProjectionMatrix();
    controls.update();
  }
  // Following moves the camera and what it orbits by as much as the track
  // moves, so orbiting, panning and zooming change the camera's offset from
  // the figure and are kept.
  let following = false;
  const followed = new Vector3(), shift = new Vector3();
  function follow() {
    if (!following) return;
    const point = trackPoint(time);
    camera.position.add(shift.subVectors(point, followed));
    controls.target.add(shift);
    followed.copy(point);
  }
  function useView() {
    following = $('camera').value === 'follow';
    if (following) aim(followed.copy(trackPoint(time)), followDistance);
    else aim(centre, pathDistance);
  }
  useView();

  // Joints as dots over the bones, so that even a take without bones shows.
  const dots = new InstancedMesh(new SphereGeometry(figureSize / 250, 10, 8),
    new MeshBasicMaterial({ color: 0xc0392b }), Math.max(joints.length, 1));
  scene.add(dots);

  const trailLine = new Line(new BufferGeometry(), new LineBasicMaterial({ color: 0x1f7a4d }));
  trailLine.visible = false;
  scene.add(trailLine);
  for (const [i, joint] of joints.entries()) if (joint.shown) $('trail').add(new Option(joint.name, String(i)));
  function drawTrail() {
    const chosen = joints[Number($('trail').value)];
    trailLine.visible = Boolean($('trail').value) && Boolean(chosen);
    if (!trailLine.visible) return;
    const points = [];
    for (let frame = 0; frame < play.frameCount; ++frame) {
      pose(timeOf(frame));
      points.push(...world(chosen).toArray());
    }
    trailLine.geometry.dispose();
    trailLine.geometry = new BufferGeometry();
    trailLine.geometry.setAttribute('position', new Float32BufferAttribute(points, 3));
    pose(time);
  }
  $('trail').addEventListener('change', () => {
    drawTrail();
    render();
  });

  const slider = $('time');
  function showFigures() {
    $('file').textContent = takes.length > 1 ? heading : play.take.file;
    $('figures').textContent = figureText(play.take, play.frameCount);
    slider.max = String(play.frameCount - 1);
  }
  showFigures();

  $('camera').addEventListener('change', () => {
    useView();
    render();
  });

  // The take drop-down, named after the takes' files; the camera keeps its
  // offset from the figure, or its place when it frames every take's path.
  const choice = $('take');
  for (const [i, take] of takes.entries()) choice.add(new Option(take.file, String(i)));
  $('take-choice').hidden = takes.length < 2;
  choice.addEventListener('change', () => {
    useTake(Number(choice.value));
    time = play.first;
    lastTick = performance.now();
    showFigures();
    drawTrail();
    render();
  });

  const matrix = new Matrix4();
  dots.count = dotted.length;
  function render() {
    follow();
    pose(time);
    for (const [i, joint] of dotted.entries()) dots.setMatrixAt(i, matrix.makeTranslation(world(joint)));
    dots.instanceMatrix.needsUpdate = true;
    const frame = frameOf(time);
    slider.value = String(frame);
    $('clock').textContent = `frame ${frame} of ${play.frameCount - 1} · ${(time - play.first).toFixed(3)} s`;
    renderer.render(scene, camera);
  }

  function resize() {
    const { clientWidth: w, clientHeight: h } = view;
    renderer.setSize(w, h, false);
    camera.aspect = w / Math.max(h, 1);
    camera.updateProjectionMatrix();
    render();
  }
  new ResizeObserver(resize).observe(view);
  controls.addEventListener('change', render);

  // Playing: the clock advances by the wall time times the speed.
  let playing = false, lastTick = 0;
  function setPlaying(on) {
    playing = on;
    $('play').textContent = on ? 'Pause' : 'Play';
    lastTick = performance.now();
    if (on) requestAnimationFrame(tick);
  }
  function tick(now) {
    if (!playing) return;
    time += ((now - lastTick) / 1000) * Number($('speed').value);
    lastTick = now;
    const { first, last } = play;
    if (time > last) {
      if ($('loop').checked && last > first) time = first + ((time - first) % (last - first));
      else { time = last; setPlaying(false); }
    }
    render();
    if (playing) requestAnimationFrame(tick);
  }
  $('play').addEventListener('click', () => {
    if (!playing && time >= play.last) time = play.first;
    setPlaying(!playing);
  });
  document.addEventListener('keydown', (event) => {
    if (event.code !== 'Space' || event.target.tagName === 'SELECT') return;
    event.preventDefault();
    $('play').click();
  });
  slider.addEventListener('input', () => {
    setPlaying(false);
    time = timeOf(Number(slider.value));
    render();
  });

  // A joint's place in the view in CSS pixels from its top left corner, or
  // null when it lies behind the camera or beyond its far plane.
  function onScreen(joint) {
    const p = world(joint).project(camera);
    return p.z < 1 ? new Vector2(((p.x + 1) / 2) * view.clientWidth, ((1 - p.y) / 2) * view.clientHeight) : null;
  }

  // Hover: the joint nearest the pointer on screen, within a few pixels.
  const tip = $('tip');
  renderer.domElement.addEventListener('pointermove', (event) => {
    const rect = renderer.domElement.getBoundingClientRect();
    const pointer = new Vector2(event.clientX - rect.left, event.clientY - rect.top);
    let best = null, bestDistance = 9;
    for (const joint of dotted) {
      const d = onScreen(joint)?.distanceTo(pointer) ?? Infinity;
      if (d < bestDistance) best = joint, bestDistance = d;
    }
    tip.style.display = best ? 'block' : 'none';
    if (!best) return;
    tip.textContent = best.name;
    tip.style.left = `${pointer.x + 12}px`;
    tip.style.top = `${pointer.y + 8}px`;
  });
  renderer.domElement.addEventListener('pointerleave', () => { tip.style.display = 'none'; });

  $('message').style.display = 'none';
  resize();
  setPlaying(true);

  // Read-only: the take shown with its figures, whether it plays, and the
  // joints at the current time: world position, whether it has a dot, and
  // its place in the view (onScreen). Tests move the time with the slider
  // and choose a take or the camera with the drop-downs, as a user does.
  window.varnexPlayer = Object.freeze({
    get take() { return shown; },
    takes: Object.freeze(takes.map((take) => take.file)),
    get frameCount() { return play.frameCount; },
    get frameRate() { return play.rate; },
    get playing() { return playing; },
    jointCount: joints.length,
    showTake(index) {
      choice.value = String(index);
      choice.dispatchEvent(new Event('change'));
    },
    state: () => ({
      take: shown,
      frame: frameOf(time),
      time,
      view: [view.clientWidth, view.clientHeight],
      joints: joints.map((joint) => ({
        path: joint.path,
        position: world(joint).toArray(),
        shown: joint.shown,
        screen: onScreen(joint)?.toArray() ?? null,
      })),
    }),
  });
}

try {
  new GLTFLoader().setMeshoptDecoder(MeshoptDecoder).parse(glbBytes(), '', start, (error) => fail(`cannot read the take: ${error.message || error}`));
} catch (error) {
  fail(`cannot read the take: ${error.message || error}`);
}
