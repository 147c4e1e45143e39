// Log: /logs/stream sends the kept lines, then each new one; the list shows
// the newest first, filtered by text and level.
import { clear, el } from './dom.js';

// Log lines kept and shown.
const MAX_LOG_LINES = 1000;

const LEVEL_RANK = { OKAY: 0, WARN: 1, ERROR: 2, ALWAYS: 3 };

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

export function readLogStream() {
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
