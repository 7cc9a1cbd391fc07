// The edit tools: drag a rectangle on the map to sink (or, with a negative depth, raise)
// or crop it; rotate, resize and change the canvas from the panel. Each edit goes to the
// server, and apply(answer) shows the map it answers with.
import * as L from '../leaflet/leaflet.js';
import * as api from './api.js';
import { attempt } from './status.js';

const $ = (id) => document.getElementById(id);
const whole = (id) => Math.trunc(Number($(id).value));

// The cells a dragged rectangle covers, clipped to the map; null when none.
function cellsOf(bounds, facts) {
  const left = Math.max(0, Math.floor(bounds.getWest()));
  const top = Math.max(0, Math.floor(bounds.getSouth()));
  const right = Math.min(facts.width, Math.ceil(bounds.getEast()));
  const bottom = Math.min(facts.height, Math.ceil(bounds.getNorth()));
  return right > left && bottom > top ? { left, top, width: right - left, height: bottom - top } : null;
}

export function watchEditTools(map, facts, apply) {
  const modes = { sink: $('tool-sink'), crop: $('tool-crop') };
  let mode = null;
  let start = null;
  let shape = null;

  function setMode(next) {
    mode = next;
    for (const [name, button] of Object.entries(modes)) button.setAttribute('aria-pressed', String(name === mode));
    if (mode) map.dragging.disable(); else map.dragging.enable();
    map.getContainer().classList.toggle('dragging-rect', Boolean(mode));
  }
  for (const [name, button] of Object.entries(modes))
    button.addEventListener('click', () => setMode(mode === name ? null : name));
  document.addEventListener('keydown', (e) => { if (e.key === 'Escape') setMode(null); });

  const send = (op) => attempt(async () => apply(await api.edit(op)));

  map.on('mousedown', (e) => {
    if (!mode) return;
    start = e.latlng;
    shape = L.rectangle(L.latLngBounds(start, start), { color: '#f0c030', weight: 2, interactive: false }).addTo(map);
  });
  map.on('mousemove', (e) => { if (shape) shape.setBounds(L.latLngBounds(start, e.latlng)); });
  map.on('mouseup', (e) => {
    if (!shape) return;
    const bounds = L.latLngBounds(start, e.latlng);
    shape.remove();
    shape = null;
    const cells = cellsOf(bounds, facts());
    if (!cells) return;
    if (mode === 'sink') send({ op: 'sink', depth: whole('depth'), keepLand: $('keep-land').checked, ...cells });
    else send({ op: 'crop', ...cells });
  });

  $('rotate').addEventListener('click', () => send({ op: 'rotate', angle: whole('angle') }));
  $('resize').addEventListener('click', () => send({ op: 'size', width: whole('new-width'), height: whole('new-height') }));
  $('canvas').addEventListener('click', () => send({ op: 'canvas', width: whole('new-width'), height: whole('new-height') }));
}
