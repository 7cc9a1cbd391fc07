// Undo and redo: the buttons, Ctrl+Z and Ctrl+Shift+Z (or Ctrl+Y).
import * as api from './api.js';
import { attempt } from './status.js';

export function watchHistory(apply) {
  const undo = () => attempt(async () => apply(await api.undo()));
  const redo = () => attempt(async () => apply(await api.redo()));
  document.getElementById('undo').addEventListener('click', undo);
  document.getElementById('redo').addEventListener('click', redo);
  document.addEventListener('keydown', (e) => {
    if (!(e.ctrlKey || e.metaKey) || e.target instanceof HTMLInputElement) return;
    const key = e.key.toLowerCase();
    if (key === 'z') {
      e.preventDefault();
      if (e.shiftKey) redo(); else undo();
    } else if (key === 'y') {
      e.preventDefault();
      redo();
    }
  });
}
