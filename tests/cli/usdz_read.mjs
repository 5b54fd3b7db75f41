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
