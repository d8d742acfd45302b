// Compiles a .ksy of `calvex map` with the Kaitai Struct compiler (npm
// kaitai-struct-compiler) to JavaScript, parses an NV image with the result
// (npm kaitai-struct runtime) and prints, as JSON, every field the map's JSON
// names: {sheet type: {field id: value, [values], hex string of bytes or
// [[kind, word] per control-word entry]}}.
//
// usage: node parse_image.js MAP.ksy MAP.json IMAGE OUT_DIR
// Exit 1 (the compiler's message on standard error) when the compiler
// refuses the description or a field is missing from the parsed object.
'use strict';
const fs = require('fs');
const path = require('path');
const yaml = require('js-yaml');
const compiler = require('kaitai-struct-compiler');
const KaitaiStream = require('kaitai-struct/KaitaiStream');

async function main() {
  const [ksyPath, mapPath, imagePath, outDir] = process.argv.slice(2);
  const ksy = yaml.load(fs.readFileSync(ksyPath, 'utf8'));
  let files;
  try {
    files = await compiler.compile('javascript', ksy, null, false);
  } catch (e) {
    process.stderr.write('kaitai-struct-compiler refused ' + ksyPath + ': ' + (e && e.message ? e.message : e) + '\n');
    process.exit(1);
  }
  const names = Object.keys(files);
  if (names.length !== 1) throw new Error('expected one compiled file, got ' + names.join(', '));
  fs.mkdirSync(outDir, {recursive: true});
  const moduleFile = path.join(outDir, names[0]);
  fs.writeFileSync(moduleFile, files[names[0]]);
  const exported = require(path.resolve(moduleFile));
  const Parser = Object.values(exported)[0];
  const bytes = fs.readFileSync(imagePath);
  const root = new Parser(new KaitaiStream(bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.length)));
  const map = JSON.parse(fs.readFileSync(mapPath, 'utf8'));
  const camel = (id) => id.replace(/_([a-z0-9])/g, (m, c) => c.toUpperCase());
  const result = {};
  for (const sheet of map.sheets) {
    const object = root[camel(sheet.type)];
    if (object === undefined) throw new Error('no sheet type ' + sheet.type + ' in the parsed image');
    const values = {};
    for (const field of sheet.fields) {
      const value = object[camel(field.id)];
      if (value === undefined) throw new Error('no field ' + sheet.type + '.' + field.id + ' in the parsed image');
      // A strided field is an array of objects, each with its value; a
      // control-word entry is an object with its kind and word.
      const entry = (e) => [e.kind, e.word];
      values[field.id] = field.type === 'ctrl_entry' ? (Array.isArray(value) ? value.map(entry) : [entry(value)])
                       : value instanceof Uint8Array ? Buffer.from(value).toString('hex')
                       : Array.isArray(value) && value.length > 0 && typeof value[0] === 'object' ? value.map((v) => v.value)
                       : value;
    }
    result[sheet.type] = values;
  }
  process.stdout.write(JSON.stringify(result) + '\n');
}

main().catch((e) => {
  process.stderr.write(String(e && e.stack ? e.stack : e) + '\n');
  process.exit(1);
});
