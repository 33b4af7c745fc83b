// A static file server for the player's page, on 127.0.0.1 only. Used by
// scripts/serve-web.sh and by the browser tests.
import { createServer } from 'node:http';
import { createReadStream } from 'node:fs';
import { stat } from 'node:fs/promises';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const TYPES = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.mjs': 'text/javascript', '.css': 'text/css',
  '.json': 'application/json', '.wasm': 'application/wasm', '.png': 'image/png', '.ts': 'text/plain',
};

/** Serves the files under `root`; resolves to {url, close()}. Port 0 picks a free one. */
export function serve(root, port = 0) {
  root = path.resolve(root);
  const server = createServer(async (request, response) => {
    const file = path.join(root, decodeURIComponent(new URL(request.url, 'http://x').pathname));
    const inside = file.startsWith(root + path.sep);
    const info = inside ? await stat(file).catch(() => null) : null;
    if (!info?.isFile()) {
      response.writeHead(404, { 'content-type': 'text/plain' }).end('not found\n');
      return;
    }
    response.writeHead(200, {
      'content-type': TYPES[path.extname(file)] ?? 'application/octet-stream',
      'content-length': info.size,
      'cache-control': 'no-store',
    });
    createReadStream(file).pipe(response);
  });
  return new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(port, '127.0.0.1', () => {
      resolve({ url: `http://127.0.0.1:${server.address().port}`, close: () => server.close() });
    });
  });
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  const [root = '.', port = '8000'] = process.argv.slice(2);
  const { url } = await serve(root, Number(port));
  console.log(`Serving ${path.resolve(root)} on ${url}`);
  console.log(`Open ${url}/build/web/index.html?src=../../examples/ball_nuke.yafa`);
}
