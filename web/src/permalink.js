// The permalink: the page's whole state (pattern, options, limits, subject, replacement and
// test cases) in the address's fragment, as "v1." and the base64url of the deflated JSON.
// JSON keeps every unit, lone surrogates included; deflate keeps long subjects short enough
// for an address. Reading checks every field, and a link that cannot be read throws a
// PermalinkError that says why.
const PREFIX = 'v1.';

// The most a link's data may unpack to: room for a 10 MB subject written with escapes, and
// far less than the gigabytes a small link of deflated repetition could otherwise become.
const UNPACKED_MAX = 64 * 1024 * 1024;

export class PermalinkError extends Error {}

async function through(bytes, stream) {
  return new Uint8Array(await new Response(new Blob([bytes]).stream().pipeThrough(stream)).arrayBuffer());
}

// The inflated bytes, read a piece at a time and refused once they pass UNPACKED_MAX.
async function unpack(packed) {
  const reader = new Blob([packed]).stream().pipeThrough(new DecompressionStream('deflate-raw')).getReader();
  const pieces = [];
  let size = 0;
  for (let read = await reader.read(); !read.done; read = await reader.read()) {
    size += read.value.length;
    if (size > UNPACKED_MAX) {
      await reader.cancel();
      throw new PermalinkError(`its data unpacks to more than ${UNPACKED_MAX / 1024 / 1024} MiB`);
    }
    pieces.push(read.value);
  }
  const bytes = new Uint8Array(size);
  let at = 0;
  for (const piece of pieces) {
    bytes.set(piece, at);
    at += piece.length;
  }
  return bytes;
}

function toBase64Url(bytes) {
  let binary = '';
  for (let i = 0; i < bytes.length; i += 8192) binary += String.fromCharCode(...bytes.subarray(i, i + 8192));
  return btoa(binary).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
}

function fromBase64Url(text) {
  if (!/^[A-Za-z0-9_-]*$/.test(text)) throw new PermalinkError('it holds characters that base64url does not use');
  let binary;
  try {
    binary = atob(text.replace(/-/g, '+').replace(/_/g, '/'));
  } catch {
    throw new PermalinkError('its data is cut short');
  }
  return Uint8Array.from(binary, (c) => c.charCodeAt(0));
}

export async function encodeState(state) {
  const bytes = new TextEncoder().encode(JSON.stringify(state));
  return PREFIX + toBase64Url(await through(bytes, new CompressionStream('deflate-raw')));
}

const isInteger = (value, min, max) => Number.isInteger(value) && value >= min && value <= max;
const UINT32_MAX = 4294967295;

// The state's fields and the test each must pass; the ones not given take the page's defaults.
const FIELDS = {
  pattern: (v) => typeof v === 'string',
  flags: (v) => isInteger(v, -2147483648, 2147483647),
  subject: (v) => typeof v === 'string',
  replacement: (v) => typeof v === 'string',
  limits: (v) =>
    v !== null &&
    typeof v === 'object' &&
    isInteger(v.depth, 0, UINT32_MAX) &&
    isInteger(v.subjectLength, 0, UINT32_MAX) &&
    isInteger(v.steps, 0, Number.MAX_SAFE_INTEGER),
  cases: (v) =>
    Array.isArray(v) &&
    v.every(
      (c) =>
        c !== null &&
        typeof c === 'object' &&
        typeof c.name === 'string' &&
        typeof c.subject === 'string' &&
        typeof c.expectMatch === 'boolean' &&
        (c.expectedText === undefined || typeof c.expectedText === 'string'),
    ),
};

export async function decodeState(fragment) {
  if (!fragment.startsWith(PREFIX)) throw new PermalinkError('it does not start with "v1."');
  const packed = fromBase64Url(fragment.slice(PREFIX.length));
  let json;
  try {
    json = new TextDecoder('utf-8', { fatal: true }).decode(await unpack(packed));
  } catch (error) {
    if (error instanceof PermalinkError) throw error;
    throw new PermalinkError('its data does not unpack');
  }
  let state;
  try {
    state = JSON.parse(json);
  } catch {
    throw new PermalinkError('its data is not JSON');
  }
  if (state === null || typeof state !== 'object' || Array.isArray(state)) throw new PermalinkError('its data is not a state');
  for (const [name, value] of Object.entries(state)) {
    if (!(name in FIELDS)) throw new PermalinkError(`it has an unknown field "${name}"`);
    if (!FIELDS[name](value)) throw new PermalinkError(`its field "${name}" is malformed`);
  }
  return state;
}
