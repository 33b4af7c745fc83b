// The wasm decoder in Node against the reference animations' checksums:
// every valid case asked for 32-bit pixels, every frame it requests, in its
// order. This reaches the module's own pixel paths (wasm SIMD) at every
// depth and layout, which the bundled examples only sample.
import assert from 'node:assert/strict';
import { createHash } from 'node:crypto';
import { readFileSync } from 'node:fs';
import path from 'node:path';
import { test } from 'node:test';
import { fileURLToPath, pathToFileURL } from 'node:url';

const repo = fileURLToPath(new URL('../..', import.meta.url));
const buildDir = path.resolve(process.env.YAFA_WEB_BUILD ?? path.join(repo, 'build/web'));

const folder = path.join(repo, 'tests/vectors/valid');
const cases = JSON.parse(readFileSync(path.join(folder, 'manifest.json'), 'utf8')).filter((c) => !c.indexed);

test('every frame of every 32-bit reference case matches its checksum', async () => {
  const { YafaDecoder } = await import(pathToFileURL(path.join(buildDir, 'yafa-decoder.js')));
  const decoder = await YafaDecoder.create();
  const mismatches = [];
  for (const c of cases) {
    const animation = decoder.open(readFileSync(path.join(folder, c.file)));
    const { width, height } = c.expect_info;
    const raw = Buffer.alloc(width * height * 4);
    for (const index of c.detail.order) {
      const rgba = animation.frame(index);
      // RGBA back to the tool's little-endian 0x00RRGGBB words.
      for (let p = 0; p < width * height; ++p) {
        raw[4 * p] = rgba[4 * p + 2];
        raw[4 * p + 1] = rgba[4 * p + 1];
        raw[4 * p + 2] = rgba[4 * p];
        raw[4 * p + 3] = 0;
      }
      const sha = createHash('sha256').update(raw).digest('hex');
      if (sha !== c.detail.frames[index][0]) mismatches.push(`${c.file} frame ${index} (${c.kind})`);
    }
    animation.close();
  }
  assert.ok(cases.length > 100);
  assert.deepEqual(mismatches, []);
});
