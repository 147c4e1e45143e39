// Events: read from /events with fetch (event names are the events' own, so
// EventSource could not listen to all of them), kept in a ring of MAX_EVENTS
// and drawn at most once a frame.
import { clear, clockTime, el, jsonBlock } from './dom.js';
import { applyResourceChanges, pendingResourceChanges } from './resources.js';

// Events kept in memory and shown in the list; older ones are dropped.
const MAX_EVENTS = 500;
// The event list is drawn at most this often: a burst of hundreds of events a
// second then costs four updates a second, not one per frame.
const MIN_DRAW_INTERVAL_MS = 250;

export const events = {
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

export async function readEventStream() {
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

export function setUpEventControls() {
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

// For measurements (tests/browser/event_burst.py).
export function eventDiagnostics() {
  return { received: events.received, kept: events.kept.length, draws: events.draws, drawMs: events.drawMs };
}
