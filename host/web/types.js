// Types: labels and links to a type wherever one is named, the record of
// which functions and types use each, and the Types view.
import { clear, el, jsonBlock } from './dom.js';
import { state } from './state.js';

export function typeLink(name) {
  if (name && state.types.has(name)) return el('a', { href: '#types/' + encodeURIComponent(name), class: 'type-link', text: name });
  return el('span', { class: 'type-name', text: name || '?' });
}

// A type reference of /api ({type, element, typeName}) as text and links.
export function typeRef(ref) {
  if (!ref) return el('span', { text: 'none' });
  const named = ref.typeName ? typeLink(ref.typeName) : null;
  if (ref.type === 'vector' || ref.type === 'map') {
    const inner = named || el('span', { class: 'type-name', text: ref.element || '?' });
    return el('span', { class: 'type' }, ref.type + '<', ref.type === 'map' ? 'string, ' : '', inner, '>');
  }
  if (ref.type === 'struct' || ref.type === 'enum') return el('span', { class: 'type' }, named || ref.type);
  return el('span', { class: 'type type-name', text: ref.type });
}

export function noteUse(typeName, user) {
  if (!typeName) return;
  if (!state.usedBy.has(typeName)) state.usedBy.set(typeName, new Set());
  state.usedBy.get(typeName).add(user);
}

export function renderTypes() {
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
