// The npm package: `npm pack build/web` makes a yafa-player tarball that
// installs into an empty project; there its decoder works in Node and its
// element plays as a tag in Chromium.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { copyFileSync, mkdirSync, mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { test } from 'node:test';
import { serve } from '../serve.mjs';
import { buildDir, firstDifference, info, launchBrowser, openPage, rawFrames, repo } from './support.mjs';

test('the packed tarball installs, imports in Node and plays as a tag', async () => {
  const work = mkdtempSync(path.join(os.tmpdir(), 'yafa-package-'));
  try {
    const [packed] = JSON.parse(execFileSync('npm', ['pack', buildDir, '--pack-destination', work, '--json'],
      { encoding: 'utf8' }));
    assert.equal(packed.name, 'yafa-player');
    assert.deepEqual(packed.files.map((f) => f.path).sort(), ['package.json', 'yafa-decoder.d.ts', 'yafa-decoder.js',
      'yafa-player.d.ts', 'yafa-player.js', 'yafa-worker.js', 'yafa.wasm']);

    const site = path.join(work, 'site');
    mkdirSync(site);
    writeFileSync(path.join(site, 'package.json'), '{ "name": "site", "private": true }\n');
    execFileSync('npm', ['install', '--offline', '--no-audit', '--no-fund', path.join(work, packed.filename)],
      { cwd: site, stdio: 'ignore' });

    const example = path.join(repo, 'examples/ball_nuke.yafa');
    const { width, height, frames } = info(example);
    const expected = rawFrames(example, frames, width * height * 4).frames;

    // Node: the element's module imports without a DOM; the decoder decodes.
    const script = `
      import { readFileSync } from 'node:fs';
      import { YafaPlayer } from 'yafa-player';
      import { YafaDecoder } from 'yafa-player/decoder';
      const animation = (await YafaDecoder.create()).open(readFileSync(process.argv[1]));
      const pixels = Buffer.from(animation.frame(3).buffer).toString('base64');
      console.log(JSON.stringify({ element: typeof YafaPlayer, frames: animation.frames, pixels }));`;
    const node = JSON.parse(execFileSync(process.execPath, ['--input-type=module', '-e', script, example],
      { cwd: site, encoding: 'utf8', maxBuffer: 1 << 26 }));
    assert.deepEqual([node.element, node.frames], ['function', frames]);
    assert.equal(firstDifference(Buffer.from(node.pixels, 'base64'), expected[3], width), null);

    // A page of the site: the installed module and a tag.
    copyFileSync(example, path.join(site, 'ball_nuke.yafa'));
    writeFileSync(path.join(site, 'index.html'), `<!doctype html>
<script type="module" src="./node_modules/yafa-player/yafa-player.js"></script>
<yafa-player src="ball_nuke.yafa" paused></yafa-player>\n`);
    const server = await serve(site);
    const chromium = await launchBrowser();
    try {
      const page = await openPage(chromium.browser, `${server.url}/index.html`);
      await page.waitForFunction(() => document.querySelector('yafa-player').frame === 0);
      const shown = await page.evaluate(() => [document.querySelector('yafa-player').state, canvasBase64()]);
      assert.equal(shown[0], 'paused');
      assert.equal(firstDifference(Buffer.from(shown[1], 'base64'), expected[0], width), null);
    } finally {
      await chromium.close();
      server.close();
    }
  } finally {
    rmSync(work, { recursive: true, force: true });
  }
});
