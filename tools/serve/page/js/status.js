// The error banner: every failure the page meets is shown here, never dropped.
const box = document.getElementById('error');
const text = document.getElementById('error-text');
document.getElementById('error-close').addEventListener('click', () => { box.hidden = true; });

export function showError(message) {
  text.textContent = message;
  box.hidden = false;
}

export function clearError() {
  box.hidden = true;
}

// Runs an async action, showing its failure; resolves to its result or undefined.
export async function attempt(action) {
  try {
    const result = await action();
    clearError();
    return result;
  } catch (e) {
    showError(e.message);
    return undefined;
  }
}
