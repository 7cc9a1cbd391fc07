// The cell under the pointer and its elevation, asked of the server once per cell with at
// most one request in flight (a page beside a folder of tiles has no server: the cell alone).
import { getElevation, site } from './api.js';

const box = document.getElementById('readout');

export function watchPointer(map, facts) {
  let shown = '';
  let busy = false;
  let wanted = null;
  async function ask() {
    if (busy || !wanted) return;
    const { x, y } = wanted;
    wanted = null;
    busy = true;
    try {
      const answer = await getElevation(x, y);
      box.textContent = `x ${answer.x}, y ${answer.y}: elevation ${answer.elevation}`;
    } catch (e) {
      box.textContent = `x ${x}, y ${y}: ${e.message}`;
    }
    busy = false;
    ask();
  }
  map.on('mousemove', (e) => {
    const x = Math.floor(e.latlng.lng);
    const y = Math.floor(e.latlng.lat);
    const f = facts();
    if (x < 0 || y < 0 || x >= f.width || y >= f.height) {
      shown = '';
      box.textContent = '';
      return;
    }
    if (`${x},${y}` === shown) return;
    shown = `${x},${y}`;
    if (site) {
      box.textContent = `x ${x}, y ${y}`;
      return;
    }
    wanted = { x, y };
    ask();
  });
  map.on('mouseout', () => { shown = ''; box.textContent = ''; });
}
