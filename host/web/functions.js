// Functions: each loaded plug-in's functions, with their arguments and a form
// that fills in the query syntax, calls the function and shows the answer.
import { clear, el, jsonBlock } from './dom.js';
import { curlCommand, exchange, showAnswer } from './exchange.js';
import { state } from './state.js';
import { noteUse, typeLink, typeRef } from './types.js';

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

export function renderFunctions() {
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
