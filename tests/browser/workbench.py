"""Shared pieces of the browser tests: the example host, a headless Chromium
driven through Selenium, waits on what the page shows, and a resource burst.

Everything comes from Debian: /usr/bin/chromium, /usr/bin/chromedriver and
python3-selenium (run with /usr/bin/python3).
"""
import http.client
import json
import os
import shutil
import signal
import subprocess
import tempfile
import time
import urllib.parse

from selenium import webdriver
from selenium.common.exceptions import StaleElementReferenceException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), '..', '..'))

# This machine's network is closed: without the background-networking flags
# Chromium's own connections are refused and it stalls.
CHROMIUM_FLAGS = [
    '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync',
    '--window-size=1400,1000',
]


class ExampleHost:
    """scripts/serve-example on a free port: the local inventory service and
    the host with the example scenario, until stop()."""

    def __init__(self, build_dir):
        self._log = tempfile.NamedTemporaryFile('w', prefix='qor-host-', suffix='.log', delete=False)
        self.log_path = self._log.name
        self.process = subprocess.Popen(
            [os.path.join(ROOT, 'scripts', 'serve-example'), build_dir, '0'],
            stdout=subprocess.PIPE, stderr=self._log, text=True, start_new_session=True)
        first = self.process.stdout.readline().strip()
        if not first.startswith('Workbench: '):
            self.stop()
            raise RuntimeError('the example host did not start:\n' + self.log())
        self.url = first[len('Workbench: '):].rstrip('/')
        parsed = urllib.parse.urlsplit(self.url)
        self.address = (parsed.hostname, parsed.port)

    def log(self):
        self._log.flush()
        with open(self.log_path) as f:
            return f.read()

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)  # the script stops both programs
            try:
                self.process.wait(20)
            except subprocess.TimeoutExpired:
                os.killpg(self.process.pid, signal.SIGKILL)
                self.process.wait()
        self._log.close()
        os.unlink(self.log_path)


def start_browser():
    """A headless Chromium with a fresh profile; returns (driver, profile)."""
    profile = tempfile.mkdtemp(prefix='qor-chromium-')
    options = webdriver.ChromeOptions()
    options.binary_location = '/usr/bin/chromium'
    for flag in CHROMIUM_FLAGS + ['--user-data-dir=' + profile]:
        options.add_argument(flag)
    try:
        driver = webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)
    except BaseException:
        shutil.rmtree(profile, ignore_errors=True)
        raise
    return driver, profile


def stop_browser(driver, profile):
    try:
        driver.quit()
    finally:
        shutil.rmtree(profile, ignore_errors=True)


def wait_for(driver, condition, timeout=20, message=''):
    """Polls `condition(driver)` until it gives a true value, which it returns.
    A row the page replaced between finding it and reading it (the live lists
    redraw during a burst) counts as "not yet", not as a failure."""
    return WebDriverWait(driver, timeout, poll_frequency=0.05,
                         ignored_exceptions=(StaleElementReferenceException,)).until(condition, message)


def css(root, selector):
    return root.find_element(By.CSS_SELECTOR, selector)


def css_all(root, selector):
    return root.find_elements(By.CSS_SELECTOR, selector)


def replace_text(field, text):
    """Replaces a field's text by typing, so that the page sees input events
    (Selenium's clear() sends none)."""
    field.send_keys(Keys.CONTROL, 'a')
    field.send_keys(Keys.BACK_SPACE)
    if text:
        field.send_keys(text)


def put_burst(address, count, per_second=None, uri='/workbench/burst'):
    """PUTs {"n": i} to a resource `count` times over one connection; each PUT
    publishes two events. With `per_second`, the PUTs are spread evenly."""
    connection = http.client.HTTPConnection(*address, timeout=10)
    started = time.monotonic()
    try:
        for i in range(count):
            if per_second:
                due = started + i / per_second
                ahead = due - time.monotonic()
                if ahead > 0:
                    time.sleep(ahead)
            connection.request('PUT', '/resources' + uri, json.dumps({'n': i}),
                               {'Content-Type': 'application/json'})
            response = connection.getresponse()
            response.read()
            if response.status not in (200, 201):
                raise RuntimeError('PUT answered %d' % response.status)
    finally:
        connection.close()
    return time.monotonic() - started
