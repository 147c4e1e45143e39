// The host's workbench page: the loaded plug-ins' functions with a form to
// call each, their types, the resource store with ready-made scenes, and the
// live event stream and log. Plain script, no library: everything it needs
// comes from the host's own endpoints (/api, /api/help, /scenes, /resources,
// /events, /logs/stream).
'use strict';

// Events kept in memory and shown in the list; older ones are dropped.
const MAX_EVENTS = 500;
// The event list is drawn at most this often: a burst of hundreds of events a
// second then costs four updates a second, not one per frame.
const MIN_DRAW_INTERVAL_MS = 250;
// Log lines kept and shown.
const MAX_LOG_LINES = 1000;
// Answers longer than this are shown cut, with a button for the rest.
const MAX_SHOWN_ANSWER = 200000;

const LEVEL_RANK = { OKAY: 0, WARN: 1, ERROR: 2, ALWAYS: 3 };

const state = {
  api: null,
  help: new Map(),        // "plugin/function" or "plugin/type:Name" -> help record
  types: new Map(),       // type name -> {type, plugin}
  usedBy: new Map(),      // type name -> Set of "function:Name" / "type:Name"
  scenes: [],
};

// ---------------------------------------------------------------------------
// Small helpers

function el(tag, attrs, ...children) {
  const node = document.createElement(tag);
  if (attrs) {
    for (const [key, value] of Object.entries(attrs)) {
      if (value === undefined || value === null || value === false) continue;
      if (key === 'class') node.className = value;
      else if (key === 'text') node.textContent = value;
      else if (key === 'dataset') Object.assign(node.dataset, value);
      else if (key.startsWith('on')) node.addEventListener(key.slice(2), value);
      else node.setAttribute(key, value === true ? '' : value);
    }
  }
  for (const child of children.flat(Infinity)) {
    if (child === undefined || child === null || child === false) continue;
    node.append(child instanceof Node ? child : String(child));
  }
  return node;
}

function clear(node) {
  while (node.firstChild) node.removeChild(node.firstChild);
}

function shellQuote(text) {
  return "'" + String(text).replace(/'/g, "'\\''") + "'";
}

function curlCommand(method, url, headers, body) {
  const parts = ['curl -s'];
  if (method !== 'GET') parts.push('-X ' + method);
  parts.push(shellQuote(url));
  for (const [name, value] of Object.entries(headers || {})) parts.push('-H ' + shellQuote(name + ': ' + value));
  if (body !== undefined && body !== null && body !== '') parts.push('--data-binary ' + shellQuote(body));
  return parts.join(' ');
}

function clockTime(date) {
  const pad = (n, w = 2) => String(n).padStart(w, '0');
  return `${pad(date.getHours())}:${pad(date.getMinutes())}:${pad(date.getSeconds())}.${pad(date.getMilliseconds(), 3)}`;
}

function isPlainObject(value) {
  return value !== null && typeof value === 'object' && !Array.isArray(value);
}

// JSON text with spans for strings, numbers, literals and keys.
function highlightJson(text) {
  const escaped = text.replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;');
  return escaped.replace(
    /("(?:\\u[a-fA-F0-9]{4}|\\[^u]|[^\\"])*"(\s*:)?|\b(?:true|false|null)\b|-?\d+(?:\.\d*)?(?:[eE][+-]?\d+)?)/g,
    (match, _string, colon) => {
      let cls = 'j-num';
      if (match.startsWith('"')) cls = colon ? 'j-key' : 'j-str';
      else if (match === 'true' || match === 'false') cls = 'j-bool';
      else if (match === 'null') cls = 'j-null';
      return `<span class="${cls}">${match}</span>`;
    });
}

function jsonBlock(value, className) {
  const pre = el('pre', { class: 'json ' + (className || '') });
  let text = typeof value === 'string' ? value : JSON.stringify(value, null, 2);
  if (text === undefined) text = String(value);
  if (text.length > MAX_SHOWN_ANSWER) {
    pre.innerHTML = highlightJson(text.slice(0, MAX_SHOWN_ANSWER));
    const more = el('button', { type: 'button', class: 'small', text: `show all ${text.length} characters` });
    more.addEventListener('click', () => { pre.innerHTML = highlightJson(text); more.remove(); });
    return el('div', null, pre, more);
  }
  pre.innerHTML = highlightJson(text);
  return pre;
}

// One HTTP exchange: {ok, status, statusText, ms, text, json, networkError}.
async function exchange(method, url, options = {}) {
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
function showAnswer(box, result, curl) {
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

function curlBox(command) {
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

// ---------------------------------------------------------------------------
// Types: labels and links

function typeLink(name) {
  if (name && state.types.has(name)) return el('a', { href: '#types/' + encodeURIComponent(name), class: 'type-link', text: name });
  return el('span', { class: 'type-name', text: name || '?' });
}

// A type reference of /api ({type, element, typeName}) as text and links.
function typeRef(ref) {
  if (!ref) return el('span', { text: 'none' });
  const named = ref.typeName ? typeLink(ref.typeName) : null;
  if (ref.type === 'vector' || ref.type === 'map') {
    const inner = named || el('span', { class: 'type-name', text: ref.element || '?' });
    return el('span', { class: 'type' }, ref.type + '<', ref.type === 'map' ? 'string, ' : '', inner, '>');
  }
  if (ref.type === 'struct' || ref.type === 'enum') return el('span', { class: 'type' }, named || ref.type);
  return el('span', { class: 'type type-name', text: ref.type });
}

function noteUse(typeName, user) {
  if (!typeName) return;
  if (!state.usedBy.has(typeName)) state.usedBy.set(typeName, new Set());
  state.usedBy.get(typeName).add(user);
}

// ---------------------------------------------------------------------------
// Functions

// How one argument's text becomes query pairs, by its type.
function argumentPairs(arg, raw) {
  const text = raw.trim();
  if (text === '') return [];
  switch (arg.type) {
    case 'vector':
      // JSON as it is; otherwise one element per comma, name.index=value.
      if (text.startsWith('[')) return [[arg.name, text]];
      return text.split(',').map((s) => s.trim()).filter((s) => s !== '')
        .map((value, index) => [`${arg.name}.${index}`, value]);
    default:
      return [[arg.name, text]];
  }
}

function argumentHint(arg) {
  const enumName = arg.typeName && state.types.get(arg.typeName);
  const enumValues = enumName && enumName.type.enumerators ? enumName.type.enumerators.map((e) => e.name) : null;
  switch (arg.type) {
    case 'vector':
      return 'A list: comma-separated values, sent one by one as ' + `${arg.name}.0=…&${arg.name}.1=…` +
        ', or a JSON array [..] sent as it is.' + (enumValues ? ' Values: ' + enumValues.join(', ') + '.' : '');
    case 'map':
    case 'struct':
    case 'object':
      return 'JSON: an object {…}.';
    case 'bool':
      return 'true or false.';
    case 'enum':
      return enumValues ? 'One of ' + enumValues.join(', ') + '.' : 'An enumerator name.';
    default:
      return `A ${arg.type} value.`;
  }
}

function argumentInput(arg) {
  const attrs = { name: arg.name, dataset: { arg: arg.name }, spellcheck: 'false', autocomplete: 'off' };
  const enumType = arg.type === 'enum' && arg.typeName && state.types.get(arg.typeName);
  if (arg.type === 'bool') {
    return el('select', attrs, el('option', { value: '', text: '(not sent)' }),
      el('option', { value: 'true', text: 'true' }), el('option', { value: 'false', text: 'false' }));
  }
  if (enumType && enumType.type.enumerators) {
    return el('select', attrs, el('option', { value: '', text: '(not sent)' }),
      enumType.type.enumerators.map((e) => el('option', { value: e.name, text: e.name })));
  }
  if (arg.type === 'struct' || arg.type === 'object' || arg.type === 'map') {
    return el('textarea', Object.assign({ rows: 3, placeholder: '{}' }, attrs));
  }
  const placeholder = arg.type === 'vector' ? 'A, B, C' : arg.type;
  return el('input', Object.assign({ type: 'text', placeholder }, attrs));
}

function pathVariables(uri) {
  const variables = [];
  const pattern = /\{([+#]?)([^}]*)\}/g;
  let match;
  while ((match = pattern.exec(uri)) !== null) variables.push({ text: match[0], reserved: match[1] !== '', name: match[2] });
  return variables;
}

function renderFunction(plugin, fn) {
  const key = plugin.name + '/' + fn.name;
  noteUse(fn.returns && fn.returns.typeName, 'function:' + fn.name);
  for (const arg of fn.arguments) noteUse(arg.typeName, 'function:' + fn.name);

  const card = el('details', { class: 'card function', id: 'function-' + fn.name, dataset: { function: fn.name } });
  card.append(el('summary', null,
    el('span', { class: 'method method-' + (fn.method || 'ANY'), text: fn.method || 'ANY' }),
    el('code', { class: 'route', text: fn.uri }),
    el('span', { class: 'muted fn-name', text: fn.name })));

  if (fn.description) card.append(el('p', { text: fn.description }));
  if (fn.help) card.append(el('pre', { class: 'help', text: fn.help }));
  if (!fn.description && !fn.help) card.append(el('p', { class: 'muted', text: 'The plug-in gives no description for this function.' }));

  const facts = el('dl', { class: 'facts' },
    el('dt', { text: 'Returns' }), el('dd', null, typeRef(fn.returns)),
    fn.asyncType ? [el('dt', { text: 'Async' }), el('dd', null, typeLink(fn.asyncType))] : null,
    el('dt', { text: 'Thread-safe' }), el('dd', { text: fn.threadSafe ? 'yes' : 'no' }),
    fn.tags.length ? [el('dt', { text: 'Tags' }), el('dd', { text: fn.tags.join(', ') })] : null);
  card.append(facts);

  if (fn.arguments.length) {
    card.append(el('table', { class: 'args' },
      el('thead', null, el('tr', null, ['Argument', 'Type', 'From', 'Required', 'Description'].map((h) => el('th', { text: h })))),
      el('tbody', null, fn.arguments.map((arg) => el('tr', null,
        el('td', null, el('code', { text: arg.name })),
        el('td', null, typeRef(arg)),
        el('td', { text: arg.location === 'any' ? 'query, header or path' : arg.location }),
        el('td', { text: arg.optional ? 'no' : 'yes' }),
        el('td', { text: arg.description || '' }))))));
  } else {
    card.append(el('p', { class: 'muted', text: 'No arguments.' }));
  }

  // The call form.
  const form = el('form', { class: 'call', autocomplete: 'off' });
  const variables = pathVariables(fn.uri);
  const pathInputs = variables.map((v) => el('input', { type: 'text', name: 'path:' + v.name, placeholder: v.name, dataset: { pathVar: v.name } }));
  if (variables.length) {
    form.append(el('fieldset', null, el('legend', { text: 'Path' }),
      variables.map((v, i) => el('label', null, el('code', { text: v.name }), pathInputs[i]))));
  }
  const queryArgs = fn.arguments.filter((a) => a.location === 'query' || a.location === 'any');
  const headerArgs = fn.arguments.filter((a) => a.location === 'header');
  const bodyArgs = fn.arguments.filter((a) => a.location === 'body');
  const argInputs = new Map();
  if (queryArgs.length || headerArgs.length) {
    const fields = el('fieldset', null, el('legend', { text: 'Arguments' }));
    for (const arg of queryArgs.concat(headerArgs)) {
      const input = argumentInput(arg);
      argInputs.set(arg, input);
      fields.append(el('label', { class: 'arg' },
        el('span', null, el('code', { text: arg.name }), arg.location === 'header' ? ' (header)' : ''),
        input,
        el('small', { class: 'muted hint', text: argumentHint(arg) })));
    }
    form.append(fields);
  }
  const method = fn.method || 'GET';
  const methodSelect = fn.method ? null : el('select', { name: 'method' },
    ['GET', 'POST', 'PUT', 'PATCH', 'DELETE'].map((m) => el('option', { value: m, text: m })));
  const query = el('input', { type: 'text', class: 'query', name: 'query', spellcheck: 'false',
                              placeholder: 'name=value&…', 'aria-label': 'Query' });
  form.append(el('label', { class: 'query-line' },
    el('span', null, 'Query ', el('small', { class: 'muted', text: '(filled from the arguments; edit freely)' })),
    el('span', { class: 'query-row' }, methodSelect, el('code', { class: 'muted route-prefix', text: '?' }), query)));
  const wantsBody = bodyArgs.length > 0 || !['GET', 'HEAD', 'OPTIONS'].includes(method);
  const body = el('textarea', { class: 'body', name: 'body', rows: 4, spellcheck: 'false', placeholder: '{ }' });
  if (wantsBody) {
    form.append(el('label', null, 'Body (JSON' + (bodyArgs.length ? ', for ' + bodyArgs.map((a) => a.name).join(', ') : '') + ')', body));
  }
  const send = el('button', { type: 'submit', class: 'send', text: 'Send' });
  form.append(el('div', { class: 'actions' }, send));
  const answer = el('div', { class: 'answer', 'aria-live': 'polite', dataset: { count: '0' } });

  const refreshQuery = () => {
    const pairs = [];
    for (const [arg, input] of argInputs) {
      if (arg.location === 'header') continue;
      pairs.push(...argumentPairs(arg, input.value));
    }
    query.value = pairs.map(([k, v]) => encodeURIComponent(k) + '=' + encodeURIComponent(v)).join('&');
  };
  for (const input of argInputs.values()) input.addEventListener('input', refreshQuery);

  form.addEventListener('submit', async (event) => {
    event.preventDefault();
    let path = fn.uri;
    variables.forEach((v, i) => {
      const value = pathInputs[i].value;
      path = path.replace(v.text, v.reserved ? encodeURI(value) : encodeURIComponent(value));
    });
    const q = query.value.trim().replace(/^\?/, '');
    const target = path + (q ? '?' + q : '');
    const headers = {};
    for (const [arg, input] of argInputs) {
      if (arg.location === 'header' && input.value.trim() !== '') headers[arg.name.toLowerCase()] = input.value.trim();
    }
    const chosen = methodSelect ? methodSelect.value : method;
    let bodyText;
    if (wantsBody && body.value.trim() !== '') {
      bodyText = body.value;
      headers['Content-Type'] = 'application/json';
    }
    send.disabled = true;
    answer.dataset.state = 'pending';
    const result = await exchange(chosen, target, { headers, body: bodyText });
    send.disabled = false;
    showAnswer(answer, result, curlCommand(chosen, location.origin + target, headers, bodyText));
  });

  card.append(form, answer);

  const record = state.help.get(key);
  if (record) {
    card.append(el('details', { class: 'help-record' }, el('summary', { text: 'Help record' }), jsonBlock(record)));
  }
  return card;
}

function renderFunctions() {
  const root = document.getElementById('functions');
  clear(root);
  if (!state.api.plugins.length) {
    root.append(el('p', { class: 'muted', text: 'No plug-in is loaded: start qor_host with --plugin PATH.' }));
    return;
  }
  for (const plugin of state.api.plugins) {
    const section = el('section', { class: 'plugin', dataset: { plugin: plugin.name } },
      el('h2', null, plugin.name, ' ', el('small', { class: 'muted', text: `plug-in API ${plugin.version} · ${plugin.path}` }),
        plugin.started ? null : el('span', { class: 'status status-error', text: 'not started' })));
    const functions = plugin.api.functions.slice().sort((a, b) => a.uri.localeCompare(b.uri));
    if (!functions.length) section.append(el('p', { class: 'muted', text: 'This plug-in publishes no function.' }));
    for (const fn of functions) section.append(renderFunction(plugin, fn));
    root.append(section);
  }
}

// ---------------------------------------------------------------------------
// Types

function renderTypes() {
  const root = document.getElementById('types');
  clear(root);
  const filter = document.getElementById('type-filter').value.trim().toLowerCase();
  const builtins = document.getElementById('type-builtins').checked;
  for (const plugin of state.api.plugins) {
    const types = plugin.api.types.slice()
      .filter((t) => builtins || t.nameSpace === '')
      .filter((t) => !filter || t.name.toLowerCase().includes(filter))
      .sort((a, b) => (a.nameSpace === b.nameSpace ? a.name.localeCompare(b.name) : a.nameSpace.localeCompare(b.nameSpace)));
    root.append(el('h2', null, plugin.name, ' ', el('small', { class: 'muted', text: `${types.length} types` })));
    for (const type of types) root.append(renderType(plugin, type));
  }
  const events = document.getElementById('declared-events');
  clear(events);
  for (const plugin of state.api.plugins) {
    events.append(el('table', { class: 'args' },
      el('thead', null, el('tr', null, ['Event', 'Payload', 'Namespace', 'Description'].map((h) => el('th', { text: h })))),
      el('tbody', null, plugin.api.events.map((e) => el('tr', null,
        el('td', null, el('code', { text: e.name })), el('td', null, typeLink(e.typeName)),
        el('td', { text: e.nameSpace }), el('td', { text: e.description }))))));
  }
}

function renderType(plugin, type) {
  const isEnum = Array.isArray(type.enumerators);
  const card = el('div', { class: 'card type-card', id: 'type-' + type.name, dataset: { type: type.name } },
    el('h3', null, el('span', { class: 'kind', text: isEnum ? 'enum' : 'struct' }), ' ', type.name,
      ' ', el('small', { class: 'muted', text: `${type.nameSpace || plugin.name} · ${type.size} bytes` })));
  if (type.description) card.append(el('p', { text: type.description }));
  if (isEnum) {
    card.append(el('table', { class: 'args' },
      el('thead', null, el('tr', null, ['Name', 'Value', 'Description'].map((h) => el('th', { text: h })))),
      el('tbody', null, type.enumerators.map((e) => el('tr', null,
        el('td', null, el('code', { text: e.name })), el('td', { text: e.value }), el('td', { text: e.description }))))));
  } else {
    card.append(el('table', { class: 'args' },
      el('thead', null, el('tr', null, ['Field', 'Type', 'Offset', 'Required', 'Description'].map((h) => el('th', { text: h })))),
      el('tbody', null, (type.fields || []).map((f) => el('tr', null,
        el('td', null, el('code', { text: f.name })), el('td', null, typeRef(f)), el('td', { text: f.offset }),
        el('td', { text: f.optional ? 'no' : 'yes' }), el('td', { text: f.description }))))));
  }
  const users = state.usedBy.get(type.name);
  if (users && users.size) {
    card.append(el('p', { class: 'used-by' }, 'Used by ',
      [...users].sort().map((user, i) => {
        const [kind, name] = user.split(':');
        let link;
        if (kind === 'function') link = el('a', { href: '#functions/' + encodeURIComponent(name), text: name });
        else if (kind === 'type') link = el('a', { href: '#types/' + encodeURIComponent(name), text: name });
        else link = el('span', null, 'event ', el('code', { text: name }));
        return i ? [', ', link] : link;
      })));
  }
  const record = state.help.get(plugin.name + '/type:' + type.name);
  if (record) card.append(el('details', { class: 'help-record' }, el('summary', { text: 'Help record' }), jsonBlock(record)));
  return card;
}

// ---------------------------------------------------------------------------
// Resources and scenes

const resourceCards = new Map();  // uri -> {card, editor, dirty, outcome}
const pendingResourceChanges = new Map();  // uri -> {eventType, data}, applied once a frame

function resourceUrl(uri) {
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

async function loadResources() {
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
function applyResourceChanges() {
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

function renderScenes() {
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

function setUpNewResourceForm() {
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

// ---------------------------------------------------------------------------
// Events: read from /events with fetch (event names are the events' own, so
// EventSource could not listen to all of them), kept in a ring of MAX_EVENTS
// and drawn at most once a frame.

const events = {
  kept: [],          // newest last, at most MAX_EVENTS
  pending: [],       // arrived since the last frame, at most MAX_EVENTS
  received: 0,
  dropped: 0,        // arrived but never drawn (more than MAX_EVENTS in one frame)
  paused: false,
  filter: '',
  names: new Set(),
  rateWindow: [],    // [time, received] samples for the rate
  frameQueued: false,
  lastDraw: -Infinity,
  draws: 0,          // for measurements: how often the list was drawn,
  drawMs: 0,         // and the time spent drawing it
  dirtyList: false,  // the list must be drawn anew (filter, resume, clear)
};

function eventMatches(event) {
  return !events.filter || event.name.toLowerCase().includes(events.filter);
}

// Rows are cloned from one template: a burst creates hundreds a second.
const EVENT_ROW = (() => {
  const row = document.createElement('li');
  row.className = 'event';
  for (const name of ['time', 'name', 'preview']) {
    const cell = document.createElement(name === 'preview' ? 'code' : 'span');
    cell.className = name;
    row.append(cell);
  }
  return row;
})();

function eventRow(event) {
  const row = EVENT_ROW.cloneNode(true);
  row.dataset.name = event.name;
  row.dataset.seq = String(event.seq);
  row.firstChild.textContent = clockTime(event.time);
  row.children[1].textContent = event.name;
  row.lastChild.textContent = event.data.length > 160 ? event.data.slice(0, 160) + '…' : event.data;
  return row;
}

function toggleEventDetail(row) {
  const existing = row.querySelector('.detail');
  if (existing) { existing.remove(); return; }
  const seq = Number(row.dataset.seq);
  const event = events.kept.find((e) => e.seq === seq);
  if (!event) return;
  let parsed;
  try { parsed = JSON.parse(event.data); } catch (_) { parsed = event.data; }
  row.append(el('div', { class: 'detail' }, jsonBlock(parsed)));
}

function queueFrame() {
  if (events.frameQueued) return;
  events.frameQueued = true;
  const wait = events.lastDraw + MIN_DRAW_INTERVAL_MS - performance.now();
  if (wait > 0) setTimeout(() => requestAnimationFrame(drawFrame), wait);
  else requestAnimationFrame(drawFrame);
}

function receiveEvent(name, data) {
  events.received++;
  const event = { seq: events.received, name, data, time: new Date() };
  events.pending.push(event);
  if (events.pending.length > MAX_EVENTS) {
    events.dropped += events.pending.length - MAX_EVENTS;
    events.pending.splice(0, events.pending.length - MAX_EVENTS);
  }
  // Resource events published by the host keep the resource cards current.
  if (name === 'OnJsonApiEvent') {
    try {
      const parsed = JSON.parse(data);
      if (parsed.source === 'host' && parsed.payload && typeof parsed.payload.uri === 'string') {
        pendingResourceChanges.set(parsed.payload.uri, parsed.payload);
      }
    } catch (_) { /* not JSON: nothing to apply */ }
  }
  queueFrame();
}

function drawFrame(now) {
  const t0 = performance.now();
  events.frameQueued = false;
  events.lastDraw = now;
  const list = document.getElementById('event-list');
  const fresh = events.pending;
  events.pending = [];
  for (const event of fresh) {
    events.kept.push(event);
    if (!events.names.has(event.name) && events.names.size < 200) {
      events.names.add(event.name);
      document.getElementById('event-names').append(el('option', { value: event.name }));
    }
  }
  if (events.kept.length > MAX_EVENTS) events.kept.splice(0, events.kept.length - MAX_EVENTS);

  if (!events.paused) {
    if (events.dirtyList) {
      events.dirtyList = false;
      clear(list);
      const fragment = document.createDocumentFragment();
      for (let i = events.kept.length - 1; i >= 0; i--) {
        if (eventMatches(events.kept[i])) fragment.append(eventRow(events.kept[i]));
      }
      list.append(fragment);
    } else if (fresh.length) {
      const fragment = document.createDocumentFragment();
      const first = Math.max(0, fresh.length - MAX_EVENTS);
      for (let i = fresh.length - 1; i >= first; i--) {
        if (eventMatches(fresh[i])) fragment.append(eventRow(fresh[i]));
      }
      if (fragment.childElementCount >= MAX_EVENTS) {
        list.replaceChildren(fragment);
      } else {
        list.prepend(fragment);
        while (list.childElementCount > MAX_EVENTS) list.lastElementChild.remove();
      }
    }
  }
  if (pendingResourceChanges.size) applyResourceChanges();
  drawEventStats();
  events.draws++;
  events.drawMs += performance.now() - t0;
}

function drawEventStats() {
  const now = performance.now();
  events.rateWindow.push([now, events.received]);
  while (events.rateWindow.length > 1 && now - events.rateWindow[0][0] > 1000) events.rateWindow.shift();
  const [t0, n0] = events.rateWindow[0];
  const rate = now - t0 > 200 ? Math.round((events.received - n0) * 1000 / (now - t0)) : 0;
  const shown = document.getElementById('event-list').childElementCount;
  document.getElementById('event-stats').textContent =
    `received ${events.received} · ${rate}/s · kept ${events.kept.length} of ${MAX_EVENTS} · shown ${shown}` +
    (events.paused ? ' · paused' : '');
  document.getElementById('events-count').textContent = String(events.received);
}

async function readEventStream() {
  const indicator = document.getElementById('stream-state');
  for (;;) {
    indicator.dataset.state = 'connecting';
    indicator.textContent = 'events: connecting';
    try {
      const response = await fetch('/events', { cache: 'no-store' });
      if (!response.ok || !response.body) throw new Error('status ' + response.status);
      const reader = response.body.pipeThrough(new TextDecoderStream()).getReader();
      let buffer = '';
      for (;;) {
        const { value, done } = await reader.read();
        if (done) break;
        buffer += value;
        // One chunk may hold many events: scan it once, keep the unfinished rest.
        let start = 0;
        let end;
        while ((end = buffer.indexOf('\n\n', start)) >= 0) {
          const block = buffer.slice(start, end);
          start = end + 2;
          if (block.startsWith(': stream open')) {
            indicator.dataset.state = 'open';
            indicator.textContent = 'events: live';
            continue;
          }
          let name = 'message';
          let data = '';
          for (const line of block.split('\n')) {
            if (line.startsWith('event: ')) name = line.slice(7);
            else if (line.startsWith('data: ')) data += (data ? '\n' : '') + line.slice(6);
          }
          if (data) receiveEvent(name, data);
        }
        buffer = buffer.slice(start);
      }
    } catch (_) {
      // Reconnect below.
    }
    indicator.dataset.state = 'closed';
    indicator.textContent = 'events: reconnecting';
    await new Promise((resolve) => setTimeout(resolve, 1000));
  }
}

function setUpEventControls() {
  const filter = document.getElementById('event-filter');
  filter.addEventListener('input', () => {
    events.filter = filter.value.trim().toLowerCase();
    events.dirtyList = true;
    queueFrame();
  });
  const pause = document.getElementById('events-pause');
  pause.addEventListener('click', () => {
    events.paused = !events.paused;
    pause.textContent = events.paused ? 'Resume' : 'Pause';
    events.dirtyList = !events.paused;
    queueFrame();
  });
  document.getElementById('events-clear').addEventListener('click', () => {
    events.kept = [];
    events.pending = [];
    events.dirtyList = true;
    queueFrame();
  });
  document.getElementById('event-list').addEventListener('click', (event) => {
    const row = event.target.closest('li.event');
    if (row && !event.target.closest('.detail')) toggleEventDetail(row);
  });
}

// ---------------------------------------------------------------------------
// Log: /logs/stream sends the kept lines, then each new one.

const log = { pending: [], frameQueued: false, filter: '', minLevel: 0, lines: 0 };

function logMatches(line) {
  if ((LEVEL_RANK[line.level] ?? 3) < log.minLevel) return false;
  if (!log.filter) return true;
  return (line.source + ' ' + line.message).toLowerCase().includes(log.filter);
}

function logRow(line) {
  return el('li', { class: 'log-line level-' + line.level, dataset: { level: line.level } },
    el('span', { class: 'time', text: line.time.slice(11), title: line.time }),
    el('span', { class: 'level', text: line.level }),
    el('span', { class: 'source', text: line.source }),
    el('span', { class: 'message', text: line.message }));
}

function drawLog() {
  log.frameQueued = false;
  const list = document.getElementById('log-list');
  const fresh = log.pending.splice(0);
  const fragment = document.createDocumentFragment();
  for (let i = fresh.length - 1; i >= 0; i--) fragment.append(logRow(fresh[i]));
  list.prepend(fragment);
  while (list.childElementCount > MAX_LOG_LINES) list.lastElementChild.remove();
  applyLogFilter(fresh.length);
  document.getElementById('log-count').textContent = String(log.lines);
}

function applyLogFilter(onlyNewest) {
  const rows = document.getElementById('log-list').children;
  const count = onlyNewest === undefined ? rows.length : Math.min(onlyNewest, rows.length);
  for (let i = 0; i < count; i++) {
    const row = rows[i];
    const line = { level: row.dataset.level, source: row.children[2].textContent, message: row.children[3].textContent };
    row.hidden = !logMatches(line);
  }
}

function readLogStream() {
  const source = new EventSource('/logs/stream');
  // Each connection starts with the kept lines again.
  source.addEventListener('open', () => {
    clear(document.getElementById('log-list'));
    log.pending = [];
    log.lines = 0;
  });
  source.addEventListener('log', (message) => {
    let line;
    try { line = JSON.parse(message.data); } catch (_) { return; }
    log.lines++;
    log.pending.push(line);
    if (log.pending.length > MAX_LOG_LINES) log.pending.splice(0, log.pending.length - MAX_LOG_LINES);
    if (!log.frameQueued) {
      log.frameQueued = true;
      requestAnimationFrame(drawLog);
    }
  });
  const filter = document.getElementById('log-filter');
  filter.addEventListener('input', () => { log.filter = filter.value.trim().toLowerCase(); applyLogFilter(); });
  const level = document.getElementById('log-level');
  level.addEventListener('change', () => { log.minLevel = Number(level.value); applyLogFilter(); });
}

// ---------------------------------------------------------------------------
// Views

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
window.workbenchDiagnostics = () => ({
  received: events.received, kept: events.kept.length, draws: events.draws, drawMs: events.drawMs,
});

start();
