// Resources: the host's store as editable cards (Save is a PUT, Delete a
// DELETE), kept current by the resource events the host publishes, and the
// form for a new resource.
import { clear, el, isPlainObject } from './dom.js';
import { curlCommand, exchange, showAnswer } from './exchange.js';

const resourceCards = new Map();  // uri -> {card, editor, dirty, outcome}
export const pendingResourceChanges = new Map();  // uri -> {eventType, data}, applied once a frame

export function resourceUrl(uri) {
  return '/resources' + uri.split('/').map((s) => encodeURIComponent(s)).join('/');
}

function renderResourceCard(uri, value) {
  const editor = el('textarea', { class: 'resource-value', rows: 6, spellcheck: 'false', 'aria-label': 'Value of ' + uri });
  const outcome = el('div', { class: 'outcome', 'aria-live': 'polite', dataset: { count: '0' } });
  const entry = { card: null, editor, outcome, dirty: false, value };
  const save = el('button', { type: 'button', class: 'save', text: 'Save (PUT)' });
  const remove = el('button', { type: 'button', class: 'delete danger', text: 'Delete' });
  const revert = el('button', { type: 'button', class: 'revert small', text: 'Revert' });
  const notice = el('span', { class: 'muted notice' });
  entry.notice = notice;
  entry.card = el('div', { class: 'card resource', dataset: { uri } },
    el('h3', null, el('code', { text: uri })), editor,
    el('div', { class: 'actions' }, save, remove, revert, notice), outcome);
  setEditor(entry, value);
  editor.addEventListener('input', () => { entry.dirty = true; entry.card.classList.add('dirty'); });
  revert.addEventListener('click', () => { setEditor(entry, entry.value); notice.textContent = ''; });
  save.addEventListener('click', async () => {
    const body = editor.value;
    const result = await exchange('PUT', resourceUrl(uri), { headers: { 'Content-Type': 'application/json' }, body });
    showAnswer(outcome, result, curlCommand('PUT', location.origin + resourceUrl(uri), { 'Content-Type': 'application/json' }, body));
    if (result.ok) {
      entry.dirty = false;
      entry.card.classList.remove('dirty');
    }
  });
  remove.addEventListener('click', async () => {
    const result = await exchange('DELETE', resourceUrl(uri));
    showAnswer(outcome, result, curlCommand('DELETE', location.origin + resourceUrl(uri)));
  });
  resourceCards.set(uri, entry);
  return entry.card;
}

function setEditor(entry, value) {
  entry.value = value;
  entry.editor.value = JSON.stringify(value, null, 2);
  entry.dirty = false;
  entry.card && entry.card.classList.remove('dirty');
}

function placeResourceCard(uri, card) {
  const root = document.getElementById('resources');
  const after = [...root.children].find((node) => node.dataset.uri > uri);
  root.insertBefore(card, after || null);
}

export async function loadResources() {
  const root = document.getElementById('resources');
  const result = await exchange('GET', '/resources');
  clear(root);
  resourceCards.clear();
  if (!result.ok || !isPlainObject(result.json)) {
    root.append(el('p', { class: 'error-text', text: 'Cannot read the resources: ' + (result.networkError || result.status) }));
    return;
  }
  for (const uri of Object.keys(result.json).sort()) root.append(renderResourceCard(uri, result.json[uri]));
}

// Resource events from the host keep the cards current (not while edited).
export function applyResourceChanges() {
  for (const [uri, change] of pendingResourceChanges) {
    const entry = resourceCards.get(uri);
    if (change.eventType === 'Delete') {
      if (entry) {
        if (entry.dirty) entry.notice.textContent = 'deleted on the host';
        else { entry.card.remove(); resourceCards.delete(uri); }
      }
    } else if (entry) {
      if (entry.dirty) { entry.notice.textContent = 'changed on the host; Revert shows the new value'; entry.value = change.data; }
      else setEditor(entry, change.data);
    } else {
      placeResourceCard(uri, renderResourceCard(uri, change.data));
    }
  }
  pendingResourceChanges.clear();
}

export function setUpNewResourceForm() {
  const form = document.getElementById('resource-new');
  const outcome = form.querySelector('.outcome');
  outcome.dataset.count = '0';
  form.addEventListener('submit', async (event) => {
    event.preventDefault();
    let uri = form.elements.uri.value.trim();
    if (!uri.startsWith('/')) uri = '/' + uri;
    const body = form.elements.value.value;
    const result = await exchange('PUT', resourceUrl(uri), { headers: { 'Content-Type': 'application/json' }, body });
    showAnswer(outcome, result, curlCommand('PUT', location.origin + resourceUrl(uri), { 'Content-Type': 'application/json' }, body));
  });
}
