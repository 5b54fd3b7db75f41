// Reads a USDZ with three.js's own USDZLoader, a reader apart from ours, and
// prints its extents, meshes, triangles and how many are textured.
//   node usdz_read.mjs FILE
import fs from 'fs';

// The few pieces of a page three's loaders reach for; nothing is drawn.
globalThis.self = globalThis;
globalThis.document = {createElementNS: () => ({addEventListener() {}, removeEventListener() {}, style: {}})};
const {USDZLoader} = await import('three/examples/jsm/loaders/USDZLoader.js');
const THREE = await import('three');

const bytes = fs.readFileSync(process.argv[2]);
const group = new USDZLoader().parse(bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.length));
group.updateMatrixWorld(true);
const box = new THREE.Box3().setFromObject(group);
let meshes = 0;
let triangles = 0;
let textured = 0;
group.traverse((o) => {
  if (!o.isMesh) return;
  meshes += 1;
  const g = o.geometry;
  triangles += (g.index ? g.index.count : g.attributes.position.count) / 3;
  if (o.material && o.material.map) textured += 1;
});
console.log('USDZ ' + JSON.stringify({min: box.min.toArray(), max: box.max.toArray(), meshes, triangles, textured}));
// Where the front's top and bottom take their picture from, as three reads
// the coordinates (its textures' rows run bottom up: v = 1 is the top).
let front = null;
group.traverse((o) => {
  if (!o.isMesh || !o.geometry.attributes.normal || !o.geometry.attributes.uv) return;
  const {position, normal, uv} = o.geometry.attributes;
  for (let i = 0; i < position.count; ++i) {
    if (normal.getZ(i) < 0.99) continue;
    const y = position.getY(i);
    if (!front) front = {top: [y, uv.getX(i), uv.getY(i)], bottom: [y, uv.getX(i), uv.getY(i)]};
    if (y > front.top[0]) front.top = [y, uv.getX(i), uv.getY(i)];
    if (y < front.bottom[0]) front.bottom = [y, uv.getX(i), uv.getY(i)];
  }
});
if (front) console.log('FRONT ' + JSON.stringify({top: front.top.slice(1), bottom: front.bottom.slice(1)}));
