// Building the page's elements: a compact element factory, and JSON shown
// with highlighting (long answers cut, with a button for the rest).

// Answers longer than this are shown cut, with a button for the rest.
const MAX_SHOWN_ANSWER = 200000;

export function el(tag, attrs, ...children) {
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

export function clear(node) {
  while (node.firstChild) node.removeChild(node.firstChild);
}

export function clockTime(date) {
  const pad = (n, w = 2) => String(n).padStart(w, '0');
  return `${pad(date.getHours())}:${pad(date.getMinutes())}:${pad(date.getSeconds())}.${pad(date.getMilliseconds(), 3)}`;
}

export function isPlainObject(value) {
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

export function jsonBlock(value, className) {
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
