// <yafa-player> in Debian's Chromium: pixels against the native tool, frame
// order and timing on a controlled clock, hostile files, the page's URL
// parameters, saving a frame, and the screenshot in docs/.
import assert from 'node:assert/strict';
import { copyFileSync, mkdtempSync, readdirSync, readFileSync, rmSync } from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';
import {
  buildDir, firstDifference, firstFailure, info, launchBrowser, openPage, rawFrames, repo, scrubPixels, seekPixels, serveRepo,
} from './support.mjs';

let chromium;
let server;
before(async () => {
  chromium = await launchBrowser();
  server = await serveRepo();
});
after(async () => {
  await chromium?.close();
  server?.close();
});

const pageUrl = (query = '') => server.at(path.join(buildDir, 'index.html')) + query;
const examples = readdirSync(path.join(repo, 'examples')).filter((f) => f.endsWith('.yafa')).sort();

function load(page, file, options = { paused: true }) {
  return page.evaluate((url, o) => document.querySelector('yafa-player').load(url, o), server.at(file), options);
}

function reference(file) {
  const { width, height, frames } = info(file);
  const raw = rawFrames(file, frames, width * height * 4);
  assert.equal(raw.status, 0, `yafa raw ${file}`);
  return { width, frames, pixels: raw.frames };
}

function assertFrame(actual, expected, i) {
  assert.equal(firstDifference(actual, expected.pixels[i], expected.width), null, `frame ${i}`);
}

describe('bundled examples', () => {
  for (const name of examples) {
    test(`${name}: first, middle and last frame, then scrubbing back, equal yafa raw`, async () => {
      const file = path.join(repo, 'examples', name);
      const expected = reference(file);
      const page = await openPage(chromium.browser, pageUrl());
      await load(page, file);
      const middle = expected.frames >> 1;
      const last = expected.frames - 1;
      for (const i of [0, middle, last]) assertFrame(await seekPixels(page, i), expected, i);
      // Going back makes the plugin replay the deltas from frame 0.
      for (const i of [last - 1, middle - 1, 1]) assertFrame(await scrubPixels(page, i), expected, i);
      await page.close();
    });
  }
});

test('a paused-then-played run draws frames in order, each after its own delay on the clock', async () => {
  // Delays of 1000, 200, 100, 1000 and 1000 ms.
  const file = path.join(repo, 'tests/vectors/valid/case_0058.yafa');
  const { delays_ms: delays } = info(file);
  const page = await openPage(chromium.browser, pageUrl());
  await load(page, file);
  const run = await page.evaluate(async (steps) => {
    const player = document.querySelector('yafa-player');
    // A clock that moves only when told to.
    const clock = {
      time: 0, timers: [], waiting: [],
      now() { return this.time; },
      setTimeout(fn, ms) {
        const timer = { fn, at: this.time + ms, ms };
        this.timers.push(timer);
        for (const resolve of this.waiting.splice(0)) resolve(timer);
        return timer;
      },
      clearTimeout(timer) { this.timers = this.timers.filter((t) => t !== timer); },
      nextTimer() { return this.timers.length ? Promise.resolve(this.timers[0]) : new Promise((r) => this.waiting.push(r)); },
      advance(ms) {
        this.time += ms;
        for (const timer of this.timers.filter((t) => t.at <= this.time)) {
          this.clearTimeout(timer);
          timer.fn();
        }
      },
    };
    player.clock = clock;
    player.speed = 2;
    player.loop = true;
    const shown = [];
    player.addEventListener('frame', (event) => shown.push(event.detail.index));
    const timersWhilePaused = clock.timers.length;
    const waits = [];
    let earlyFires = 0;
    player.play();
    for (let step = 0; step < steps; ++step) {
      const timer = await clock.nextTimer();
      waits.push(timer.ms);
      clock.advance(timer.ms - 1);
      if (!clock.timers.includes(timer)) ++earlyFires;
      const drawn = new Promise((resolve) => player.addEventListener('frame', resolve, { once: true }));
      clock.advance(1);
      await drawn;
    }
    // Without looping, playback stops on the last frame, two frames on.
    player.loop = false;
    for (let step = 0; step < 2; ++step) {
      const timer = await clock.nextTimer();
      const drawn = new Promise((resolve) => player.addEventListener('frame', resolve, { once: true }));
      clock.advance(timer.ms);
      await drawn;
    }
    window.testClock = clock;
    return { shown, waits, earlyFires, timersWhilePaused };
  }, 12);
  // A later task: the player has settled after its last frame.
  run.end = await page.evaluate(() => {
    const player = document.querySelector('yafa-player');
    return [player.state, player.frame, window.testClock.timers.length];
  });
  await page.close();
  assert.deepEqual(run.shown.slice(0, 12), [1, 2, 3, 4, 0, 1, 2, 3, 4, 0, 1, 2]);
  assert.deepEqual(run.shown.slice(12), [3, 4]);
  // The frame on show before each step is the one whose delay (at speed 2) the player waited.
  assert.deepEqual(run.waits, [0, 1, 2, 3, 4, 0, 1, 2, 3, 4, 0, 1].map((f) => delays[f] / 2));
  assert.equal(run.earlyFires, 0);
  assert.equal(run.timersWhilePaused, 0);
  assert.deepEqual(run.end, ['paused', 4, 0]);
});

test('every hostile vector fails where the native tool fails, and the page then plays a good file', async () => {
  const folder = path.join(repo, 'tests/vectors/hostile');
  const good = path.join(repo, 'examples/ball_nuke.yafa');
  const page = await openPage(chromium.browser, pageUrl());
  const vectors = readdirSync(folder).filter((f) => f.endsWith('.yafa')).sort();
  let refused = 0;
  for (const name of vectors) {
    const file = path.join(folder, name);
    let native;
    try {
      const { width, height, frames } = info(file);
      const raw = rawFrames(file, frames, width * height * 4);
      native = { failedAt: raw.status === 0 && frames > 0 ? null : raw.frames.length, opens: true };
    } catch {
      native = { failedAt: 0, opens: false };
    }
    const seen = await page.evaluate(async (url) => {
      const player = document.querySelector('yafa-player');
      const result = (failedAt) => ({
        failedAt, opens: player.frames > 0, state: player.state,
        alert: player.shadowRoot.querySelector('[role=alert]').textContent,
      });
      try {
        await player.load(url, { paused: true });
      } catch {
        return result(0);
      }
      for (let i = 1; i < player.frames; ++i) {
        try {
          await player.seek(i);
        } catch {
          return result(i);
        }
      }
      return result(null);
    }, server.at(file));
    assert.equal(seen.opens, native.opens, `${name} opens`);
    assert.equal(seen.failedAt, native.failedAt, `${name}: the failing frame`);
    if (native.failedAt !== null) {
      ++refused;
      assert.equal(seen.state, 'error', name);
      assert.match(seen.alert, new RegExp(`^${name}: [^\\n]+$`), name);
      const expected = firstFailure(file);  // the reason, as the decoder gives it
      if (expected) assert.equal(seen.alert, `${name}: ${expected}`);
    } else {
      assert.deepEqual([seen.state, seen.alert], ['paused', ''], name);
    }
    const after = await page.evaluate(async (url) => {
      const player = document.querySelector('yafa-player');
      const second = new Promise((resolve) => {
        player.addEventListener('frame', function drawn(event) {
          if (event.detail.index !== 1) return;
          player.removeEventListener('frame', drawn);
          resolve();
        });
      });
      await player.load(url);
      await second;
      return [player.state, player.shadowRoot.querySelector('[role=alert]').textContent];
    }, server.at(good));
    assert.deepEqual(after, ['playing', ''], `a good file after ${name}`);
  }
  await page.close();
  assert.ok(refused > 0 && refused <= vectors.length);
});

test('a file dropped on the page, or picked with "Open file…", plays', async () => {
  const page = await openPage(chromium.browser, pageUrl());
  const played = await page.evaluate(async (wheel, ball) => {
    const player = document.querySelector('yafa-player');
    const file = async (url) => new File([await (await fetch(url)).blob()], url.split('/').pop());
    const secondFrame = () => new Promise((resolve) => {
      player.addEventListener('frame', function drawn(event) {
        if (event.detail.index !== 1) return;
        player.removeEventListener('frame', drawn);
        resolve([player.info.width, player.frames, player.state]);
      });
    });
    const dropped = new DataTransfer();
    dropped.items.add(await file(wheel));
    let next = secondFrame();
    document.body.dispatchEvent(new DragEvent('drop', { dataTransfer: dropped, bubbles: true, cancelable: true }));
    const afterDrop = await next;
    const picked = new DataTransfer();
    picked.items.add(await file(ball));
    const input = player.shadowRoot.querySelector('input[type=file]');
    input.files = picked.files;
    next = secondFrame();
    input.dispatchEvent(new Event('change'));
    return [afterDrop, await next];
  }, server.at(path.join(repo, 'examples/wheel_ham6.yafa')), server.at(path.join(repo, 'examples/ball_s404.yafa')));
  await page.close();
  assert.deepEqual(played, [[160, 12, 'playing'], [320, 24, 'playing']]);
});

test('the page shows the frame its URL names, saves it as PNG, and poses for the screenshot', async () => {
  const file = path.join(repo, 'examples/ball_nuke.yafa');
  const expected = reference(file);
  const source = path.relative(buildDir, file).split(path.sep).join('/');
  const page = await openPage(chromium.browser, pageUrl(`?src=${source}&frame=5&paused=1`));
  await page.waitForFunction(() => document.querySelector('yafa-player').frame === 5);
  assert.equal(await page.evaluate(() => document.querySelector('yafa-player').state), 'paused');
  assertFrame(Buffer.from(await page.evaluate(() => canvasBase64()), 'base64'), expected, 5);

  // "Save frame as PNG" downloads frame 5 at the animation's own size.
  const downloads = mkdtempSync(path.join(os.tmpdir(), 'yafa-downloads-'));
  const cdp = await chromium.browser.target().createCDPSession();
  await cdp.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads, eventsEnabled: true });
  const saved = new Promise((resolve) => {
    let name;
    cdp.on('Browser.downloadWillBegin', (event) => (name = event.suggestedFilename));
    cdp.on('Browser.downloadProgress', (event) => event.state === 'completed' && resolve(name));
  });
  await page.evaluate(() => document.querySelector('yafa-player').shadowRoot.querySelector('.save').click());
  const name = await saved;
  assert.equal(name, 'ball_nuke-frame0005.png');
  const png = readFileSync(path.join(downloads, name)).toString('base64');
  rmSync(downloads, { recursive: true, force: true });
  const decoded = await page.evaluate(async (base64) => {
    const bitmap = await createImageBitmap(new Blob([Uint8Array.from(atob(base64), (c) => c.charCodeAt(0))]));
    const canvas = new OffscreenCanvas(bitmap.width, bitmap.height);
    const context = canvas.getContext('2d');
    context.drawImage(bitmap, 0, 0);
    const bytes = context.getImageData(0, 0, bitmap.width, bitmap.height).data;
    return btoa(Array.from(bytes, (b) => String.fromCharCode(b)).join(''));
  }, png);
  assertFrame(Buffer.from(decoded, 'base64'), expected, 5);
  await page.close();

  // The screenshot: the page playing an example.
  const playing = await openPage(chromium.browser, pageUrl(`?src=${source}`));
  await playing.setViewport({ width: 920, height: 780 });
  await playing.waitForFunction(() => document.querySelector('yafa-player').frame >= 8);
  const shot = path.join(buildDir, 'screenshot.png');
  await playing.screenshot({ path: shot });
  if (process.env.YAFA_UPDATE_SCREENSHOT) copyFileSync(shot, path.join(repo, 'docs/web-player.png'));
  await playing.close();
});
