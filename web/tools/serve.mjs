// Serves the built playground on localhost: `node serve.mjs SITE [--port N]` (port 0, the
// default, lets the system choose) prints the address once it listens. Files only, GET and
// HEAD only, nothing outside SITE.
import { createReadStream, statSync } from 'node:fs';
import { createServer } from 'node:http';
import { extname, join, normalize, resolve, sep } from 'node:path';

const TYPES = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.json': 'application/json',
  '.png': 'image/png',
  '.ts': 'text/plain; charset=utf-8',
  '.md': 'text/plain; charset=utf-8',
};

// Starts serving root; resolves to the server's address, e.g. http://127.0.0.1:8080/.
export function serve(root, port = 0) {
  const base = resolve(root);
  const server = createServer((request, response) => {
    const path = decodeURIComponent(new URL(request.url, 'http://localhost').pathname);
    let file = normalize(join(base, path));
    if (file !== base && !file.startsWith(base + sep)) file = '';
    let stat;
    try {
      stat = file && statSync(file);
      if (stat?.isDirectory()) {
        file = join(file, 'index.html');
        stat = statSync(file);
      }
    } catch {
      stat = undefined;
    }
    if (!stat || (request.method !== 'GET' && request.method !== 'HEAD')) {
      response.writeHead(stat ? 405 : 404, { 'content-type': 'text/plain' }).end(stat ? 'GET only\n' : 'not found\n');
      return;
    }
    response.writeHead(200, {
      'content-type': TYPES[extname(file)] ?? 'application/octet-stream',
      'content-length': stat.size,
      'cache-control': 'no-cache',
    });
    if (request.method === 'HEAD') response.end();
    else createReadStream(file).pipe(response);
  });
  return new Promise((done, failed) => {
    server.once('error', failed);
    server.listen(port, '127.0.0.1', () => done({ server, url: `http://127.0.0.1:${server.address().port}/` }));
  });
}

if (import.meta.url === `file://${process.argv[1]}`) {
  const [root, flag, value] = process.argv.slice(2);
  const port = flag === '--port' ? Number(value) : 0;
  if (!root || (flag && flag !== '--port') || !Number.isInteger(port) || port < 0 || port > 65535) {
    console.error('usage: node serve.mjs SITE [--port N]');
    process.exit(2);
  }
  const { url } = await serve(root, port);
  console.log(`The Quarn playground is at ${url} (Ctrl+C stops it)`);
}
