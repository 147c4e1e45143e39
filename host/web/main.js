// The host's workbench page: the loaded plug-ins' functions with a form to
// call each, their types, the resource store with ready-made scenes, and the
// live event stream and log. Plain ES modules, no library and no build step:
// everything it needs comes from the host's own endpoints (/api, /api/help,
// /scenes, /resources, /events, /logs/stream), and the host serves every
// module of this folder under /ui/. This one reads the API and switches the
// views; each view has a module of its own.
import { el } from './dom.js';
import { eventDiagnostics, events, readEventStream, setUpEventControls } from './events.js';
import { exchange } from './exchange.js';
import { renderFunctions } from './functions.js';
import { readLogStream } from './log.js';
import { loadResources, setUpNewResourceForm } from './resources.js';
import { renderScenes } from './scenes.js';
import { state } from './state.js';
import { noteUse, renderTypes } from './types.js';

function showView(hash) {
  const [view, target] = hash.replace(/^#/, '').split('/');
  const name = ['functions', 'types', 'resources'].includes(view) ? view : 'functions';
  for (const section of document.querySelectorAll('.view')) section.hidden = section.dataset.view !== name;
  for (const tab of document.querySelectorAll('#main-tabs a')) tab.classList.toggle('active', tab.dataset.view === name);
  if (target) {
    const id = (name === 'types' ? 'type-' : 'function-') + decodeURIComponent(target);
    const node = document.getElementById(id);
    if (node) {
      if (node.tagName === 'DETAILS') node.open = true;
      node.scrollIntoView({ block: 'start' });
      node.classList.add('flash');
      setTimeout(() => node.classList.remove('flash'), 1200);
    } else if (name === 'types' && !document.getElementById('type-builtins').checked) {
      // A framework record is hidden until the box is ticked.
      document.getElementById('type-builtins').checked = true;
      renderTypes();
      showView(hash);
    }
  }
}

function showDock(name) {
  for (const section of document.querySelectorAll('.dock-view')) section.hidden = section.dataset.dock !== name;
  for (const tab of document.querySelectorAll('#dock-tabs a')) tab.classList.toggle('active', tab.dataset.dock === name);
}

async function start() {
  setUpEventControls();
  setUpNewResourceForm();
  readEventStream();
  readLogStream();
  for (const tab of document.querySelectorAll('#dock-tabs a')) {
    tab.addEventListener('click', (event) => { event.preventDefault(); showDock(tab.dataset.dock); });
  }
  showDock('events');
  document.getElementById('resources-reload').addEventListener('click', loadResources);
  document.getElementById('type-filter').addEventListener('input', renderTypes);
  document.getElementById('type-builtins').addEventListener('change', renderTypes);

  const [api, help, scenes] = await Promise.all([
    exchange('GET', '/api'), exchange('GET', '/api/help'), exchange('GET', '/scenes')]);
  if (!api.ok || !api.json) {
    const problem = document.getElementById('load-error');
    problem.hidden = false;
    problem.textContent = 'Cannot read /api: ' + (api.networkError || `${api.status} ${api.text}`);
    return;
  }
  state.api = api.json;
  if (help.ok && help.json) {
    for (const plugin of help.json.plugins) {
      for (const fn of plugin.help.functions) state.help.set(plugin.name + '/' + fn.name, fn);
      for (const type of plugin.help.types) state.help.set(plugin.name + '/type:' + type.name, type);
    }
  }
  state.scenes = scenes.ok && Array.isArray(scenes.json) ? scenes.json : [];
  for (const plugin of state.api.plugins) {
    for (const type of plugin.api.types) state.types.set(type.name, { type, plugin: plugin.name });
    for (const type of plugin.api.types) {
      for (const field of type.fields || []) noteUse(field.typeName, 'type:' + type.name);
    }
    for (const e of plugin.api.events) {
      noteUse(e.typeName, 'event:' + e.name);
      if (!events.names.has(e.name)) {
        events.names.add(e.name);
        document.getElementById('event-names').append(el('option', { value: e.name }));
      }
    }
  }
  document.getElementById('core-info').textContent =
    `core ${state.api.core.version} · ${state.api.plugins.map((p) => p.name).join(', ') || 'no plug-in'}`;
  renderFunctions();
  renderTypes();
  renderScenes();
  await loadResources();
  window.addEventListener('hashchange', () => showView(location.hash));
  showView(location.hash);
  document.body.dataset.ready = 'true';
}

// For measurements (tests/browser/event_burst.py).
window.workbenchDiagnostics = eventDiagnostics;

start();
