// The server's API. Every call resolves to the answer (JSON where the server sends JSON)
// or rejects with an Error whose message is the server's one-line reason. Paths are
// relative to the page, so a server may serve it under any prefix.
//
// A page written beside a folder of tiles (`zumeld tiles`) has no server behind it: it
// carries its map's description in a JSON block, `site`, and shows the tiles read-only.
const block = document.getElementById('zumeld-site');
export const site = block ? JSON.parse(block.textContent) : null;

async function call(method, path, body, type) {
  let res;
  try {
    res = await fetch(path, { method, body, headers: type ? { 'Content-Type': type } : {} });
  } catch {
    throw new Error(`${method} ${path}: the server cannot be reached`);
  }
  if (!res.ok) {
    const text = (await res.text()).trim();
    throw new Error(text || `${method} ${path}: ${res.status} ${res.statusText}`);
  }
  const json = (res.headers.get('Content-Type') || '').startsWith('application/json');
  return json ? res.json() : res;
}

export const getMap = () => (site ? Promise.resolve(site.map) : call('GET', 'api/map'));
export const getElevation = (x, y) => call('GET', `api/elevation?x=${x}&y=${y}`);
export const edit = (op) => call('POST', 'api/edit', JSON.stringify(op), 'application/json');
export const undo = () => call('POST', 'api/undo');
export const redo = () => call('POST', 'api/redo');
export const save = () => call('POST', 'api/save');
export function upload(file, size) {
  const query = `name=${encodeURIComponent(file.name)}` + (size ? `&size=${encodeURIComponent(size)}` : '');
  return call('PUT', `api/map?${query}`, file, 'application/octet-stream');
}
