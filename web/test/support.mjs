// What the browser tests share: Debian's Chromium, the page served from the
// repository, and reference frames from the native yafa tool.
import { execFileSync, spawnSync } from 'node:child_process';
import { mkdtempSync, rmSync } from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import puppeteer from 'puppeteer-core';
import { serve } from '../serve.mjs';

export const repo = fileURLToPath(new URL('../..', import.meta.url));
export const buildDir = path.resolve(process.env.YAFA_WEB_BUILD ?? path.join(repo, 'build/web'));
export const tool = process.env.YAFA_TOOL ?? path.join(repo, 'build/default/yafa');

/** Chromium, headless, with a fresh profile; close() also removes the profile. */
export async function launchBrowser() {
  const profile = mkdtempSync(path.join(os.tmpdir(), 'yafa-chromium-'));
  const browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    userDataDir: profile,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync'],
  });
  return {
    browser,
    async close() {
      await browser.close();
      rmSync(profile, { recursive: true, force: true });
    },
  };
}

/** The repository served on 127.0.0.1; `page(path)` is a URL on it. */
export async function serveRepo() {
  const server = await serve(repo);
  return { ...server, at: (file) => `${server.url}/${path.relative(repo, path.resolve(repo, file)).split(path.sep).join('/')}` };
}

/** What `yafa info --json` says of a file (without decoding its frames). */
export function info(file) {
  return JSON.parse(execFileSync(tool, ['info', file, '--json', '--no-check'],
    { encoding: 'utf8', stdio: ['ignore', 'pipe', 'pipe'] }));
}

/**
 * The first failure `yafa check --json` finds in a file, as the player words
 * it with the decoder's phrase ("frame 3 cannot be decoded: REASON", "cannot
 * be opened: REASON"); null when every frame decodes, or when the tool
 * refuses the file for a reason of its own (its pixel limit).
 */
export function firstFailure(file) {
  const run = spawnSync(tool, ['check', '--json', file], { encoding: 'utf8', maxBuffer: 1 << 26 });
  const report = JSON.parse(run.stdout);
  if (!report.opened) return report.phrase ? `cannot be opened: ${report.phrase}` : null;
  const first = report.frame_checks.find((f) => f.result !== 'ok');
  return first ? `frame ${first.index} cannot be decoded: ${first.phrase}` : null;
}

/**
 * Frames 0 .. n-1 as `yafa raw` decodes them one after another, each turned
 * into the RGBA bytes a canvas holds (0x00RRGGBB -> R, G, B, 255), and the
 * tool's exit status: 0, 1 (cannot open) or 2 (a frame failed; the frames
 * before it are there).
 */
export function rawFrames(file, frames, frameBytes) {
  const args = ['raw', file, ...(frames > 0 ? ['--frames', `0-${frames - 1}`] : [])];
  const run = spawnSync(tool, args, { maxBuffer: 1 << 30 });
  const out = run.stdout;
  const rgba = [];
  for (let at = 0; frameBytes > 0 && at + frameBytes <= out.length; at += frameBytes) {
    const frame = Buffer.alloc(frameBytes);
    for (let i = at; i < at + frameBytes; i += 4) {
      frame[i - at] = out[i + 2];
      frame[i - at + 1] = out[i + 1];
      frame[i - at + 2] = out[i];
      frame[i - at + 3] = 255;
    }
    rgba.push(frame);
  }
  return { status: run.status, frames: rgba };
}

/** Where two RGBA buffers first differ, or null. */
export function firstDifference(actual, expected, width) {
  if (actual.length !== expected.length) return `length ${actual.length}, expected ${expected.length}`;
  const at = actual.findIndex((byte, i) => byte !== expected[i]);
  if (at < 0) return null;
  const pixel = at >> 2;
  return `pixel (${pixel % width}, ${Math.floor(pixel / width)}): ${[...actual.subarray(pixel * 4, pixel * 4 + 4)]}, ` +
    `expected ${[...expected.subarray(pixel * 4, pixel * 4 + 4)]}`;
}

// Runs in the page: the player's canvas as base64 RGBA bytes.
function canvasBase64() {
  const { canvas } = document.querySelector('yafa-player');
  const bytes = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
  let text = '';
  for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
  return btoa(text);
}

/** A new tab on `url` once <yafa-player> is defined; the page gets canvasBase64(). */
export async function openPage(browser, url) {
  const page = await browser.newPage();
  await page.evaluateOnNewDocument(`window.canvasBase64 = ${canvasBase64}`);
  await page.goto(url);
  await page.waitForFunction(() => customElements.get('yafa-player'));
  return page;
}

/** The canvas after the player drew frame `index` by seek(). */
export async function seekPixels(page, index) {
  const base64 = await page.evaluate(async (i) => {
    await document.querySelector('yafa-player').seek(i);
    return canvasBase64();
  }, index);
  return Buffer.from(base64, 'base64');
}

/** The canvas after the player drew frame `index`, reached by dragging the scrubber there. */
export async function scrubPixels(page, index) {
  const base64 = await page.evaluate(async (i) => {
    const player = document.querySelector('yafa-player');
    const scrubber = player.shadowRoot.querySelector('input[type=range]');
    const drawn = new Promise((resolve) => {
      player.addEventListener('frame', function drawnAt(event) {
        if (event.detail.index !== i) return;
        player.removeEventListener('frame', drawnAt);
        resolve();
      });
    });
    scrubber.value = String(i);
    scrubber.dispatchEvent(new Event('input'));
    await drawn;
    return canvasBase64();
  }, index);
  return Buffer.from(base64, 'base64');
}
