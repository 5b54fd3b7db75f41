// Khronos' glTF-Validator on each file named: one JSON line a file with its
// numbers of errors and warnings and the first messages.
//   node gltf_validate.js FILE...
const fs = require('fs');
const validator = require('gltf-validator');

(async () => {
  for (const file of process.argv.slice(2)) {
    const report = await validator.validateBytes(new Uint8Array(fs.readFileSync(file)), {maxIssues: 20});
    console.log('GLTF ' + JSON.stringify({
      file,
      errors: report.issues.numErrors,
      warnings: report.issues.numWarnings,
      messages: report.issues.messages.map((m) => `${m.code} ${m.pointer || ''}: ${m.message}`),
    }));
  }
})().catch((error) => {
  console.error(error);
  process.exit(2);
});
