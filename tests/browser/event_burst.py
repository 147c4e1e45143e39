"""Measures the workbench page under a burst of events: by default 1,000
events a second for ten seconds (500 resource PUTs a second, each published
twice), sent to a host serving the example scenario while headless Chromium
shows the page's event list. Prints figures; asserts nothing.

    /usr/bin/python3 tests/browser/event_burst.py [--hidden] BUILD_DIR [EVENTS_PER_SECOND [SECONDS]]

--hidden shows the log instead of the event list during the burst: the page
then only reads and keeps the events, which gives the cost of drawing them.

Figures: the events the page received per second, how long a read-back of the
page takes during the burst (a script call through the driver), the gaps
between animation frames and the long tasks (over 50 ms) the page ran, the
page's JS heap (after a garbage collection) and DOM size before and after, and
the renderer main thread's busy time by kind. Timings depend on what else the
machine runs.
"""
import statistics
import sys
import threading
import time

from selenium.webdriver.common.by import By

from workbench import ExampleHost, put_burst, start_browser, stop_browser, wait_for

MONITOR = """
window.__frames = [];
window.__longTasks = [];
let last = performance.now();
const frame = (t) => { window.__frames.push(t - last); last = t; requestAnimationFrame(frame); };
requestAnimationFrame(frame);
new PerformanceObserver((list) => {
  for (const entry of list.getEntries()) window.__longTasks.push(entry.duration);
}).observe({ type: 'longtask', buffered: false });
"""


def metrics(driver):
    return {m['name']: m['value'] for m in driver.execute_cdp_cmd('Performance.getMetrics', {})['metrics']}


def heap_and_nodes(driver):
    driver.execute_cdp_cmd('HeapProfiler.collectGarbage', {})
    metrics = {m['name']: m['value'] for m in driver.execute_cdp_cmd('Performance.getMetrics', {})['metrics']}
    return metrics['JSHeapUsedSize'], int(metrics['Nodes'])


def received(driver):
    text = driver.execute_script('return document.getElementById("event-stats").textContent')
    return int(text.split()[1]), text


def percentile(values, p):
    values = sorted(values)
    return values[min(len(values) - 1, int(len(values) * p))] if values else 0.0


def main():
    hidden = '--hidden' in sys.argv
    if hidden:
        sys.argv.remove('--hidden')
    build = sys.argv[1]
    rate = int(sys.argv[2]) if len(sys.argv) > 2 else 1000
    seconds = float(sys.argv[3]) if len(sys.argv) > 3 else 10.0
    puts = int(rate * seconds / 2)
    host = ExampleHost(build)
    driver, profile = start_browser()
    try:
        driver.get(host.url + '/')
        wait_for(driver, lambda d: d.find_element(By.TAG_NAME, 'body').get_attribute('data-ready') == 'true')
        driver.execute_cdp_cmd('Performance.enable', {})
        if hidden:
            driver.find_element(By.CSS_SELECTOR, '#dock-tabs a[data-dock="log"]').click()
        heap_before, nodes_before = heap_and_nodes(driver)
        driver.execute_script(MONITOR)
        start_count, _ = received(driver)
        work_before = metrics(driver)

        sender = {}
        thread = threading.Thread(target=lambda: sender.update(took=put_burst(host.address, puts, rate / 2)))
        began = time.monotonic()
        thread.start()
        readbacks = []
        samples = []
        while thread.is_alive():
            t0 = time.monotonic()
            count, _ = received(driver)
            readbacks.append((time.monotonic() - t0) * 1000)
            samples.append((time.monotonic() - began, count - start_count))
            time.sleep(0.25)  # sampling pace of this measurement, not a wait for the page
        thread.join()
        wanted = start_count + 2 * puts
        wait_for(driver, lambda d: received(d)[0] >= wanted, timeout=60)
        settled = time.monotonic() - began
        frames = driver.execute_script('return window.__frames')
        long_tasks = driver.execute_script('return window.__longTasks')
        rows = driver.execute_script('return document.querySelectorAll("#event-list li").length')
        work_after = metrics(driver)
        diagnostics = driver.execute_script('return workbenchDiagnostics()')
        heap_after, nodes_after = heap_and_nodes(driver)
        _, stats = received(driver)
    finally:
        stop_browser(driver, profile)
        host.stop()

    events = 2 * puts
    print('burst: %d events (%d PUTs) sent in %.2f s = %.0f events/s' % (events, puts, sender['took'], events / sender['took']))
    print('page: all %d received %.2f s after the burst began = %.0f events/s sustained' % (events, settled, events / settled))
    if len(samples) > 4:
        (t1, c1), (t2, c2) = samples[1], samples[-1]
        print('page: received %.0f events/s while the burst ran (%.1f s to %.1f s)' % ((c2 - c1) / (t2 - t1), t1, t2))
    print('read-back during the burst: %d reads, median %.1f ms, 95th %.1f ms, max %.1f ms' % (
        len(readbacks), statistics.median(readbacks), percentile(readbacks, 0.95), max(readbacks)))
    print('frames: %d, gap median %.1f ms, 99th %.1f ms, max %.1f ms' % (
        len(frames), statistics.median(frames), percentile(frames, 0.99), max(frames)))
    print('long tasks (> 50 ms): %d, longest %.0f ms' % (len(long_tasks), max(long_tasks) if long_tasks else 0))
    print('JS heap: %.2f MB before, %.2f MB after' % (heap_before / 1e6, heap_after / 1e6))
    print('DOM nodes: %d before, %d after; list rows %d' % (nodes_before, nodes_after, rows))
    print('page stats: ' + stats)
    print('event list drawn %d times, %.0f ms of script in all' % (diagnostics['draws'], diagnostics['drawMs']))
    print('renderer main thread over the burst: ' + ', '.join(
        '%s %.2f s' % (name, work_after[name] - work_before[name])
        for name in ('TaskDuration', 'ScriptDuration', 'RecalcStyleDuration', 'LayoutDuration')))


if __name__ == '__main__':
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    main()
