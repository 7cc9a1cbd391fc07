// The page: a Leaflet map whose units are map cells (x to the right, y down), the tile
// layer, and the panel's tools. show() takes every answer that describes the map.
import * as L from '../leaflet/leaflet.js';
import * as api from './api.js';
import { attempt } from './status.js';
import { makeTileLayer, restyle, watchStyle } from './tiles.js';
import { watchPointer } from './readout.js';
import { watchEditTools } from './tools.js';
import { watchHistory } from './history.js';
import { watchFiles } from './files.js';

const crs = L.extend({}, L.CRS.Simple, { transformation: new L.Transformation(1, 0, 1, 0) });
const map = L.map('map', { crs, zoomSnap: 1, attributionControl: false });
const hooks = { map, firstFullScreenMs: null };
window.zumeld = hooks;  // for the browser test
let facts = null;
let layer = null;

function describe(f) {
  const sea = Math.round(f.seaShare * 100);
  document.getElementById('facts').textContent =
    `${f.width} × ${f.height} cells, elevation ${f.minElevation}…${f.maxElevation}, ${sea}% sea`;
  document.getElementById('undo').disabled = f.readOnly || !f.canUndo;
  document.getElementById('redo').disabled = f.readOnly || !f.canRedo;
  document.getElementById('save').hidden = !f.canSave;
  for (const el of document.querySelectorAll('#edit-tools input, #edit-tools button:not(#undo):not(#redo)'))
    el.disabled = f.readOnly;
}

// Shows the whole map at the whole-number zoom nearest to fitting it: it fills the window,
// cut a little where its shape differs from the window's, with tiles at their own size.
function fit(f) {
  const view = map.getSize();
  const zoom = Math.round(Math.log2(Math.min(view.x / f.width, view.y / f.height)));
  map.setView([f.height / 2, f.width / 2], Math.min(map.getMaxZoom(), Math.max(map.getMinZoom(), zoom)));
  document.getElementById('new-width').value = f.width;
  document.getElementById('new-height').value = f.height;
}

function show(next) {
  const first = facts === null;
  const reshaped = first || next.width !== facts.width || next.height !== facts.height;
  facts = next;
  hooks.facts = next;
  describe(next);
  if (!reshaped) {
    restyle(layer, next.version);
    return;
  }
  if (layer) layer.remove();
  layer = makeTileLayer(next);
  hooks.layer = layer;
  map.setMinZoom((next.minZoom ?? 0) - next.zoom);
  map.setMaxZoom(next.maxZoom - next.zoom);
  if (first) layer.once('load', () => { hooks.firstFullScreenMs = performance.now(); });
  fit(next);
  layer.addTo(map);
}

watchStyle(() => restyle(layer, facts.version));
watchPointer(map, () => facts);
if (api.site) {
  // Tiles written to a folder: nothing to edit, save or open.
  for (const id of ['edit-tools', 'file-tools']) document.getElementById(id).hidden = true;
} else {
  watchEditTools(map, () => facts, show);
  watchHistory(show);
  watchFiles(show);
}
attempt(async () => show(await api.getMap()));
document.getElementById('map').focus();
