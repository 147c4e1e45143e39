// Talking to the host: one HTTP exchange timed and read as JSON, its outcome
// shown in a box, and the equivalent curl command to copy.
import { clear, el, isPlainObject, jsonBlock } from './dom.js';

function shellQuote(text) {
  return "'" + String(text).replace(/'/g, "'\\''") + "'";
}

export function curlCommand(method, url, headers, body) {
  const parts = ['curl -s'];
  if (method !== 'GET') parts.push('-X ' + method);
  parts.push(shellQuote(url));
  for (const [name, value] of Object.entries(headers || {})) parts.push('-H ' + shellQuote(name + ': ' + value));
  if (body !== undefined && body !== null && body !== '') parts.push('--data-binary ' + shellQuote(body));
  return parts.join(' ');
}

// One HTTP exchange: {ok, status, statusText, ms, text, json, networkError}.
export async function exchange(method, url, options = {}) {
  const started = performance.now();
  try {
    const response = await fetch(url, { method, headers: options.headers, body: options.body, cache: 'no-store' });
    const text = await response.text();
    const ms = performance.now() - started;
    let json;
    if (text !== '') {
      try { json = JSON.parse(text); } catch (_) { json = undefined; }
    }
    return { ok: response.ok, status: response.status, statusText: response.statusText, ms, text, json };
  } catch (error) {
    return { ok: false, status: 0, statusText: 'no answer', ms: performance.now() - started, text: '',
             networkError: String(error && error.message || error) };
  }
}

function describeSize(json) {
  if (Array.isArray(json)) return json.length === 0 ? 'empty list' : `${json.length} item${json.length === 1 ? '' : 's'}`;
  if (isPlainObject(json)) {
    const n = Object.keys(json).length;
    return n === 0 ? 'empty object' : `${n} member${n === 1 ? '' : 's'}`;
  }
  return '';
}

// Fills `box` with an exchange's outcome: status, time, the error message
// when there is one, the JSON, and the equivalent curl command.
export function showAnswer(box, result, curl) {
  clear(box);
  const failed = !result.ok;
  box.dataset.state = failed ? 'error' : 'ok';
  box.dataset.status = String(result.status);
  box.dataset.count = String(Number(box.dataset.count || 0) + 1);
  const head = el('div', { class: 'answer-head' },
    el('span', { class: 'status ' + (failed ? 'status-error' : 'status-ok'),
                 text: result.status ? `${result.status} ${result.statusText || ''}`.trim() : 'no answer' }),
    el('span', { class: 'muted', text: `${result.ms.toFixed(1)} ms` }),
    !failed && result.json !== undefined ? el('span', { class: 'muted', text: describeSize(result.json) }) : null);
  box.append(head);
  if (failed) {
    let message;
    if (result.networkError) message = `The host did not answer: ${result.networkError}`;
    else if (result.json && typeof result.json.message === 'string') message = result.json.message;
    else if (result.text === '') message = 'The answer has an empty body.';
    else message = result.text.slice(0, 500);
    box.append(el('p', { class: 'error-text answer-message', text: message }));
  }
  if (result.text !== '') {
    box.append(jsonBlock(result.json !== undefined ? result.json : result.text, 'answer-body'));
  } else if (!failed) {
    box.append(el('p', { class: 'muted answer-body', text: '(empty body)' }));
  }
  if (curl) box.append(curlBox(curl));
}

export function curlBox(command) {
  const code = el('code', { text: command });
  const copy = el('button', { type: 'button', class: 'small copy', text: 'Copy' });
  copy.addEventListener('click', async () => {
    try {
      await navigator.clipboard.writeText(command);
      copy.textContent = 'Copied';
    } catch (_) {
      // Without clipboard access (plain http on another address), select it.
      const range = document.createRange();
      range.selectNodeContents(code);
      const selection = getSelection();
      selection.removeAllRanges();
      selection.addRange(range);
      copy.textContent = 'Selected';
    }
    setTimeout(() => { copy.textContent = 'Copy'; }, 1500);
  });
  return el('div', { class: 'curl' }, el('span', { class: 'muted', text: 'curl' }), code, copy);
}
