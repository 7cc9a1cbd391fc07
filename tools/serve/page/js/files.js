// Files: a heightmap dropped on the page replaces the map (undoable); Save writes the map
// back to the file the server shows. Downloading is a plain link to /api/map.elv.
import * as api from './api.js';
import { attempt } from './status.js';

export function watchFiles(apply) {
  const body = document.body;
  body.addEventListener('dragover', (e) => {
    e.preventDefault();
    body.classList.add('drop-target');
  });
  body.addEventListener('dragleave', () => body.classList.remove('drop-target'));
  body.addEventListener('drop', (e) => {
    e.preventDefault();
    body.classList.remove('drop-target');
    const file = e.dataTransfer.files[0];
    if (!file) return;
    // A .raw file has no header: its grid size is asked for.
    const size = /\.raw$/i.test(file.name) ? window.prompt('Grid size of the .raw file (WxH)', '') : '';
    if (size === null) return;
    attempt(async () => apply(await api.upload(file, size)));
  });
  document.getElementById('save').addEventListener('click', () => attempt(() => api.save()));
}
