// Scenes: the scenario's named lists of resource changes, as buttons that run
// their steps one by one and show each step's outcome.
import { clear, el, isPlainObject, jsonBlock } from './dom.js';
import { curlBox, curlCommand, exchange } from './exchange.js';
import { resourceUrl } from './resources.js';
import { state } from './state.js';

async function runScene(scene, outcome, button) {
  button.disabled = true;
  clear(outcome);
  outcome.dataset.state = 'running';
  const list = el('ol', { class: 'steps' });
  outcome.append(list);
  let failed = false;
  for (const step of scene.steps) {
    let body = step.body;
    if (step.method === 'PUT' && step.merge) {
      const current = await exchange('GET', resourceUrl(step.uri));
      if (current.ok && isPlainObject(current.json)) body = Object.assign({}, current.json, step.body);
    }
    const bodyText = body === undefined ? undefined : JSON.stringify(body);
    const headers = bodyText === undefined ? {} : { 'Content-Type': 'application/json' };
    const result = await exchange(step.method, resourceUrl(step.uri), { headers, body: bodyText });
    // Deleting what is not there is no failure of a scene.
    const absent = step.method === 'DELETE' && result.status === 404;
    const fine = result.ok || absent;
    const what = result.status === 0 ? 'no answer'
      : absent ? '404, nothing to delete'
      : `${result.status} ${result.json && result.json.eventType ? result.json.eventType
        : result.json && result.json.message ? result.json.message : ''}`;
    list.append(el('li', { class: fine ? '' : 'error-text' },
      el('code', { text: `${step.method} ${step.uri}` }), ' → ', what,
      el('details', null, el('summary', { text: 'curl' }),
        curlBox(curlCommand(step.method, location.origin + resourceUrl(step.uri), headers, bodyText)))));
    if (!fine) { failed = true; break; }
  }
  outcome.dataset.state = failed ? 'error' : 'done';
  outcome.dataset.count = String(Number(outcome.dataset.count || 0) + 1);
  button.disabled = false;
}

export function renderScenes() {
  const root = document.getElementById('scenes');
  clear(root);
  if (!state.scenes.length) {
    root.append(el('p', { class: 'muted', text: 'The scenario has no scenes (start the host with --scenario FILE).' }));
    return;
  }
  for (const scene of state.scenes) {
    const outcome = el('div', { class: 'outcome', 'aria-live': 'polite', dataset: { count: '0' } });
    const button = el('button', { type: 'button', class: 'scene-run', text: scene.name });
    button.addEventListener('click', () => runScene(scene, outcome, button));
    root.append(el('div', { class: 'card scene', dataset: { scene: scene.name } },
      button, scene.description ? el('p', { class: 'muted', text: scene.description }) : null,
      el('details', null, el('summary', { text: `${scene.steps.length} step${scene.steps.length === 1 ? '' : 's'}` }),
        el('ol', null, scene.steps.map((s) => el('li', null,
          el('code', { text: `${s.method} ${s.uri}` }), s.merge ? ' (merged into the current value)' : '',
          s.body !== undefined ? jsonBlock(s.body) : null)))),
      outcome));
  }
}
