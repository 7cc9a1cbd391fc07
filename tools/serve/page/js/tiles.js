// The tile layer and the style panel. Tile URLs carry the style and the map version, so a
// style change or an edit loads new tiles and undo finds the earlier ones again. A page
// beside a folder of tiles shows the style they were drawn in, fixed.
import * as L from '../leaflet/leaflet.js';
import { site } from './api.js';
import { showError } from './status.js';

const inputs = ['relief', 'season', 'shade', 'texture', 'dim'].map((id) => document.getElementById(id));
if (site) {
  for (const input of inputs) {
    const value = site.style[input.id];
    if (input.type === 'checkbox') input.checked = Boolean(value); else input.value = value;
    const out = document.getElementById(`${input.id}-out`);
    if (out) out.textContent = value;
    input.disabled = true;
  }
}

export function currentStyle() {
  const [relief, season, shade, texture, dim] = inputs;
  return { relief: relief.value, season: season.value, shade: +shade.checked, texture: +texture.checked, dim: +dim.checked };
}

function query(style, version) {
  return new URLSearchParams({ ...style, v: version }).toString();
}

// A tile layer for the map described by facts (its cells are the layer's units).
export function makeTileLayer(facts) {
  const layer = L.tileLayer(site ? site.tiles : 'tiles/{z}/{x}/{y}.png?{q}', {
    q: query(currentStyle(), facts.version),
    tileSize: 256,
    zoomOffset: facts.zoom,
    minZoom: (facts.minZoom ?? 0) - facts.zoom,
    maxZoom: facts.maxZoom - facts.zoom,
    bounds: L.latLngBounds([0, 0], [facts.height, facts.width]),
    keepBuffer: 1,
  });
  layer.on('tileerror', (e) => showError(`a tile failed to load: ${e.coords.z + facts.zoom}/${e.coords.x}/${e.coords.y}`));
  return layer;
}

// Points the layer at another style or version; Leaflet reloads the tiles.
export function restyle(layer, version) {
  layer.options.q = query(currentStyle(), version);
  layer.redraw();
}

// Calls onChange whenever a style control changes.
export function watchStyle(onChange) {
  for (const input of inputs) {
    input.addEventListener('change', onChange);
    input.addEventListener('input', () => {
      const out = document.getElementById(`${input.id}-out`);
      if (out) out.textContent = input.value;
    });
  }
}
