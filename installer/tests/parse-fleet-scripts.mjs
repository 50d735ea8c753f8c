// Parses PowerShell scripts and fails on the first mistake that would stop
// PowerShell before any line runs: the fleet scripts (installer/fleet/)
// must all parse, and the known-bad samples (installer/tests/fleet-bad/)
// must all be refused, so the check is seen to catch what it is for.
//
//   node parse-fleet-scripts.mjs PARSER_DIR [--expect-errors] FILE...
//
// PARSER_DIR holds node_modules with web-tree-sitter and
// tree-sitter-powershell (tools/install-deps.sh puts them in
// build/powershell-parser). The grammar is tree-sitter's, not PowerShell's
// own parser, and it takes "$name:" followed by a character that cannot
// continue a variable name as a variable and a colon; PowerShell refuses it
// ("Variable reference is not valid. ':' was not followed by a valid
// variable name character"). That rule of PowerShell's tokenizer is
// checked here, in code and in expandable strings, not in comments or
// single-quoted strings.
import { readFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';

const [parserDir, ...rest] = process.argv.slice(2);
const expectErrors = rest[0] === '--expect-errors';
const files = expectErrors ? rest.slice(1) : rest;
if (!parserDir || files.length === 0) {
  console.error('usage: node parse-fleet-scripts.mjs PARSER_DIR [--expect-errors] FILE...');
  process.exit(2);
}

const require = createRequire(path.join(path.resolve(parserDir), 'package.json'));
let Parser, Language, grammar;
try {
  ({ Parser, Language } = require('web-tree-sitter'));
  grammar = require.resolve('tree-sitter-powershell/tree-sitter-powershell.wasm');
} catch (e) {
  console.error(`no PowerShell parser in ${parserDir} (${e.message}); run tools/install-deps.sh`);
  process.exit(2);
}
await Parser.init();
const parser = new Parser();
parser.setLanguage(await Language.load(grammar));

const lineOf = (text, index) => text.slice(0, index).split('\n').length;

function mistakes(text) {
  const found = [];
  const tree = parser.parse(text);
  const skipped = [];  // comments and single-quoted strings: no variables there
  const walk = (node) => {
    if (node.isError || node.isMissing) {
      found.push(`line ${node.startPosition.row + 1}: ${node.isMissing ? 'missing ' + node.type : 'cannot parse'}` +
                 ` near ${JSON.stringify(node.text.slice(0, 40))}`);
      return;
    }
    if (/^(comment|verbatim_string_characters|verbatim_here_string_characters)$/.test(node.type) ||
        (node.type === 'string_literal' && node.text.startsWith("@'"))) {
      skipped.push([node.startIndex, node.endIndex]);
      return;
    }
    for (const child of node.children) walk(child);
  };
  walk(tree.rootNode);
  tree.delete();
  // A "$" that is not escaped with a backtick, a name, a colon, and then
  // neither a name character nor a second colon (static member access).
  const scoped = /(^|[^`])\$([A-Za-z0-9_]+):(?![A-Za-z0-9_?:])/g;
  for (let m; (m = scoped.exec(text)) !== null;) {
    const at = m.index + m[1].length;
    if (skipped.some(([from, to]) => at >= from && at < to)) continue;
    found.push(`line ${lineOf(text, at)}: "$${m[2]}:" is not followed by a variable name ` +
               `(PowerShell reads a scope or drive there; write "\${${m[2]}}:" or "$(\$${m[2]}):")`);
  }
  return found;
}

let failed = 0;
for (const file of files) {
  const found = mistakes(readFileSync(file, 'utf8'));
  const name = path.basename(file);
  if (expectErrors) {
    if (found.length === 0) {
      console.log(`FAIL ${name}: expected a parse error, found none`);
      failed++;
    } else {
      console.log(`ok   ${name}: refused as expected: ${found[0]}`);
    }
  } else if (found.length > 0) {
    for (const f of found) console.log(`FAIL ${name}: ${f}`);
    failed++;
  } else {
    console.log(`ok   ${name}: parses`);
  }
}
console.log(`${files.length - failed} passed, ${failed} failed`);
process.exit(failed === 0 ? 0 : 1);
