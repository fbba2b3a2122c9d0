// Reads the MusicXML files that scqconvert writes with an independent reader (verovio).
//
//     node check_musicxml.mjs SCQCONVERT MUSICXML_CASES EXAMPLES_DIR VEROVIO_DIR
//
// MUSICXML_CASES writes the generated songs, copies of the example songs and, beside each, the
// pitches of every staff's notes. scqconvert converts them all; verovio (the npm package in
// VEROVIO_DIR/node_modules) loads every file and renders its first page to SVG, and the notes
// of its encoding, staff by staff, must be the song's: as many, with the same pitches.
//
// Exits 0 when every file passes, 1 otherwise, 77 (skipped) when verovio is missing.

import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { pathToFileURL } from 'node:url';

const [scqconvert, cases, examples, verovioDir] = process.argv.slice(2);
if (!verovioDir) {
    console.error('usage: check_musicxml.mjs SCQCONVERT MUSICXML_CASES EXAMPLES_DIR VEROVIO_DIR');
    process.exit(2);
}
const dist = path.join(verovioDir, 'node_modules', 'verovio', 'dist');
if (!fs.existsSync(path.join(dist, 'verovio-module.mjs'))) {
    console.log(`check_musicxml: no verovio in ${verovioDir} (tools/setup-debian installs it); skipped`);
    process.exit(77);
}
const { default: createVerovioModule } = await import(pathToFileURL(path.join(dist, 'verovio-module.mjs')));
const { VerovioToolkit } = await import(pathToFileURL(path.join(dist, 'verovio.mjs')));

const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'scq-verovio-'));
let failures = 0;
function fail(name, why) {
    console.log(`FAIL ${name}: ${why}`);
    ++failures;
}

// Semitones of the letters above C, and of MEI's accidentals.
const kStep = { c: 0, d: 2, e: 4, f: 5, g: 7, a: 9, b: 11 };
const kAlter = { s: 1, f: -1, ss: 2, x: 2, ff: -2, n: 0, ts: 3, tf: -3, nf: -1, ns: 1 };

// The MIDI numbers of the notes of every staff of an MEI encoding, in ascending order. A note's
// alteration is its gestural accidental where it has one, else its written one.
function meiPitches(mei) {
    const staffs = [];
    let current = null;
    const tokens = /<staff\b[^>]*\bn="(\d+)"|<\/staff>|<note\b([^>]*?)(\/>|>([\s\S]*?)<\/note>)/g;
    for (const m of mei.matchAll(tokens)) {
        if (m[1] !== undefined) {
            const n = Number(m[1]) - 1;
            current = staffs[n] ??= [];
            continue;
        }
        if (m[0] === '</staff>') {
            current = null;
            continue;
        }
        if (!current) continue;
        const attributes = m[2] + ' ' + (m[4] ?? '').replace(/<note\b[\s\S]*/, '');
        const attr = (name) => attributes.match(new RegExp(`\\b${name.replace('.', '\\.')}="([^"]*)"`))?.[1];
        const pname = attr('pname'), oct = attr('oct');
        if (pname === undefined || oct === undefined) continue;
        const accid = attr('accid.ges') ?? attr('accid');
        current.push(12 * (Number(oct) + 1) + kStep[pname] + (accid ? kAlter[accid] ?? 0 : 0));
    }
    return staffs.map((s) => (s ?? []).sort((a, b) => a - b));
}

try {
    const songs = fs.readdirSync(examples).filter((f) => f.endsWith('.scq')).map((f) => path.join(examples, f));
    execFileSync(cases, [dir, ...songs], { stdio: 'inherit' });
    const VerovioModule = await createVerovioModule();
    const toolkit = new VerovioToolkit(VerovioModule);
    toolkit.setOptions({ inputFrom: 'musicxml' });
    const names = fs.readdirSync(dir).filter((f) => f.endsWith('.scq')).sort();
    for (const file of names) {
        const name = file.slice(0, -4);
        const xml = path.join(dir, name + '.musicxml');
        try {
            execFileSync(scqconvert, [path.join(dir, file), '-o', xml], { stdio: ['ignore', 'ignore', 'pipe'] });
        } catch (e) {
            fail(name, `scqconvert failed: ${e.stderr}`);
            continue;
        }
        if (!toolkit.loadData(fs.readFileSync(xml, 'utf8'))) {
            fail(name, `verovio cannot load it: ${toolkit.getLog()}`);
            continue;
        }
        const svg = toolkit.renderToSVG(1);
        if (!svg.includes('<svg')) {
            fail(name, 'verovio renders no SVG of the first page');
            continue;
        }
        const expected = JSON.parse(fs.readFileSync(path.join(dir, name + '.json'), 'utf8')).staffs;
        const read = meiPitches(toolkit.getMEI({}));
        for (let s = 0; s < Math.max(expected.length, read.length); ++s) {
            const want = expected[s] ?? [], got = read[s] ?? [];
            if (want.length !== got.length) {
                fail(name, `staff ${s + 1}: verovio reads ${got.length} notes, the song has ${want.length}`);
            } else if (want.some((p, i) => p !== got[i])) {
                const i = want.findIndex((p, k) => p !== got[k]);
                fail(name, `staff ${s + 1}: pitches differ (in ascending order, note ${i + 1} is ${got[i]}, not ${want[i]})`);
            }
        }
    }
    console.log(`check_musicxml: ${names.length} files, ${failures} failures`);
} finally {
    fs.rmSync(dir, { recursive: true, force: true });
}
process.exit(failures === 0 ? 0 : 1);
