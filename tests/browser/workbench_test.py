"""The host's workbench page in headless Chromium, against the example
scenario served by scripts/serve-example: the page is read and driven the way
a person would, and every wait is for something the page shows.

    /usr/bin/python3 tests/browser/workbench_test.py BUILD_DIR

The tests run in order and share one host: later ones see what earlier ones
changed (the notified emote, the switched-off service last).
"""
import json
import sys
import unittest

from selenium.webdriver.common.by import By

from workbench import (ExampleHost, css, css_all, put_burst, replace_text, start_browser, stop_browser,
                       wait_for)

INVENTORY = 'GetQorInventoryV1Inventory'
EMOTE_EVENT = 'OnJsonApiEvent_qor-inventory_v1_inventory'
MAX_EVENTS = 500  # the page's MAX_EVENTS

host = None
driver = None
profile = None


def setUpModule():
    global host, driver, profile
    host = ExampleHost(BUILD_DIR)
    try:
        driver, profile = start_browser()
        driver.get(host.url + '/')
        wait_for(driver, lambda d: d.find_element(By.TAG_NAME, 'body').get_attribute('data-ready') == 'true',
                 message='the page did not load')
    except BaseException:
        # unittest skips tearDownModule when this fails.
        tearDownModule()
        raise


def tearDownModule():
    global host, driver
    if driver is not None:
        stop_browser(driver, profile)
        driver = None
    if host is not None:
        host.stop()
        host = None


def show(view):
    css(driver, '#main-tabs a[data-view="%s"]' % view).click()
    wait_for(driver, lambda d: css(d, '#view-' + view).is_displayed())


def show_dock(name):
    css(driver, '#dock-tabs a[data-dock="%s"]' % name).click()


def function_card(name):
    show('functions')
    card = css(driver, '[data-function="%s"]' % name)
    if card.get_attribute('open') is None:
        css(card, 'summary').click()
    return card


def answer_after(box, previous_count):
    """Waits for the answer box's next answer; returns (state, status, body text)."""
    wait_for(driver, lambda d: int(box.get_attribute('data-count')) > previous_count,
             message='no answer arrived')
    body = css_all(box, '.answer-body')
    return (box.get_attribute('data-state'), int(box.get_attribute('data-status')),
            body[0].text if body else '')


def call(card, query=None, arguments=None):
    """Fills the card's form and sends it; returns (state, status, body text)."""
    if arguments is not None:
        for name, text in arguments.items():
            replace_text(css(card, '[data-arg="%s"]' % name), text)
    if query is not None:
        replace_text(css(card, 'input.query'), query)
    box = css(card, '.answer')
    count = int(box.get_attribute('data-count'))
    css(card, 'button.send').click()
    return answer_after(box, count)


def item_ids(body_text):
    return sorted(item['itemId'] for item in json.loads(body_text))


def run_scene(name):
    show('resources')
    scene = css(driver, '[data-scene="%s"]' % name)
    outcome = css(scene, '.outcome')
    count = int(outcome.get_attribute('data-count'))
    css(scene, 'button.scene-run').click()
    wait_for(driver, lambda d: int(outcome.get_attribute('data-count')) > count)
    return outcome


class WorkbenchTest(unittest.TestCase):
    def test_1_lists_the_three_functions_and_links_their_types(self):
        show('functions')
        routes = {card.get_attribute('data-function'): css(card, '.route').text
                  for card in css_all(driver, '[data-plugin="qor-inventory"] [data-function]')}
        self.assertEqual(routes, {
            'GetQorInventoryV1Inventory': '/qor-inventory/v1/inventory',
            'GetQorInventoryV1SignedInventory': '/qor-inventory/v1/signedInventory',
            'GetQorInventoryV1InventoryEmotes': '/qor-inventory/v1/inventory/emotes',
        })
        card = function_card(INVENTORY)
        self.assertIn('vector<string>', css(card, 'table.args').text)
        # The result's element type links to its description.
        css(card, 'dl.facts a.type-link').click()
        wait_for(driver, lambda d: css(d, '#view-types').is_displayed())
        item = css(driver, '#type-QorInventoryInventoryItem')
        self.assertIn('ownershipType', item.text)
        self.assertIn(INVENTORY, css(item, '.used-by').text)

    def test_2_calls_the_inventory_for_emote_and_gear(self):
        card = function_card(INVENTORY)
        replace_text(css(card, '[data-arg="inventoryTypes"]'), 'EMOTE, GEAR')
        # The argument syntax is filled in for the user.
        self.assertEqual(css(card, 'input.query').get_attribute('value'),
                         'inventoryTypes.0=EMOTE&inventoryTypes.1=GEAR')
        state, status, body = call(card)
        self.assertEqual((state, status), ('ok', 200), body)
        self.assertEqual(item_ids(body), [1, 2, 3101])
        self.assertIn("curl -s '%s/qor-inventory/v1/inventory?inventoryTypes.0=EMOTE&inventoryTypes.1=GEAR'"
                      % host.url, css(card, '.answer .curl').text)

    def test_3_an_entitlement_notification_reaches_the_stream_and_the_next_call(self):
        show_dock('events')
        event_filter = css(driver, '#event-filter')
        replace_text(event_filter, EMOTE_EVENT)
        outcome = run_scene('Push an entitlement notification')
        self.assertEqual(outcome.get_attribute('data-state'), 'done', outcome.text)
        self.assertIn('201 Create', outcome.text)

        def emote_event(d):
            rows = css_all(d, '#event-list li.event')
            return rows and all(r.get_attribute('data-name').startswith('OnJsonApiEvent_qor-inventory')
                                for r in rows) and rows[0]
        row = wait_for(driver, emote_event, message='the emote event did not arrive')
        self.assertEqual(row.get_attribute('data-name'), EMOTE_EVENT)
        row.click()  # shows the whole event
        detail = json.loads(css(row, '.detail pre').text)
        self.assertEqual(detail['source'], 'qor-inventory')
        self.assertEqual(detail['payload']['uri'], '/qor-inventory/v1/inventory/emotes')
        self.assertIn({'inventoryType': 'EMOTE', 'itemId': 7002, 'ownershipType': 'OWNED'},
                      detail['payload']['data'])
        replace_text(event_filter, '')

        # The plug-in's log line arrives live.
        show_dock('log')
        wait_for(driver, lambda d: any('Received VMS message for /store/v1/entitlements' in r.text
                                       for r in css_all(d, '#log-list li')),
                 message='the log line did not arrive')
        show_dock('events')

        state, status, body = call(function_card(INVENTORY), arguments={'inventoryTypes': 'EMOTE'})
        self.assertEqual((state, status), ('ok', 200), body)
        self.assertEqual(item_ids(body), [1, 2, 7002])

    def test_4_an_invalid_argument_shows_the_error_and_its_status(self):
        card = function_card(INVENTORY)
        state, status, _ = call(card, query='inventoryTypes=GEAR')
        self.assertEqual((state, status), ('error', 400))
        self.assertEqual(css(card, '.answer .status').text, '400 Bad Request')
        self.assertEqual(css(card, '.answer .answer-message').text,
                         "Couldn't assign value to 'inventoryTypes' of type vector because the input not a collection.")
        state, status, _ = call(card, query='bogus=1')
        self.assertEqual((state, status), ('error', 400))
        self.assertEqual(css(card, '.answer .answer-message').text,
                         "Unknown argument 'bogus' for 'GetQorInventoryV1Inventory'.")

    def test_5_a_resource_nested_too_deeply_shows_the_host_message(self):
        show('resources')
        form = css(driver, '#resource-new')
        css(form, '[name=uri]').send_keys('/workbench/deep')
        driver.execute_script('arguments[0].value = "[".repeat(5000) + "]".repeat(5000)',
                              css(form, '[name=value]'))
        outcome = css(form, '.outcome')
        css(form, 'button[type=submit]').click()
        wait_for(driver, lambda d: int(outcome.get_attribute('data-count')) > 0)
        self.assertEqual(outcome.get_attribute('data-status'), '400')
        self.assertEqual(outcome.get_attribute('data-state'), 'error')
        self.assertEqual(css(outcome, '.answer-message').text, 'value is nested too deeply')

    def test_6_a_burst_keeps_the_newest_events_and_no_more(self):
        show_dock('events')
        puts = 1000  # two events each
        put_burst(host.address, puts)
        last = '{"name":"OnJsonApiEvent_workbench_burst","payload":{"data":{"n":%d}' % (puts - 1)

        def newest_on_top(d):
            rows = css_all(d, '#event-list li.event')
            return rows and any(last in css(r, '.preview').text for r in rows[:2])
        wait_for(driver, newest_on_top, message='the newest event is not on top')
        counts = driver.execute_script(
            'return [document.querySelectorAll("#event-list li").length,'
            ' document.getElementById("event-stats").textContent]')
        self.assertEqual(counts[0], MAX_EVENTS)
        self.assertIn('kept %d of %d' % (MAX_EVENTS, MAX_EVENTS), counts[1])
        # Filtered by name, only that name's events are shown.
        replace_text(css(driver, '#event-filter'), 'OnJsonApiEvent_workbench')
        wait_for(driver, lambda d: len(css_all(d, '#event-list li')) == MAX_EVENTS // 2)
        names = driver.execute_script(
            'return [...document.querySelectorAll("#event-list li")].map(li => li.dataset.name)')
        self.assertEqual(set(names), {'OnJsonApiEvent_workbench_burst'})
        replace_text(css(driver, '#event-filter'), '')

    def test_7_switching_the_service_off_in_place_empties_the_next_call(self):
        show('resources')
        card = css(driver, '.resource[data-uri="/qor-platform-config/v1/namespaces/Inventory"]')
        editor = css(card, 'textarea')
        config = json.loads(editor.get_attribute('value'))
        self.assertIs(config['Enabled'], True)
        config['Enabled'] = False
        replace_text(editor, json.dumps(config))
        outcome = css(card, '.outcome')
        css(card, 'button.save').click()
        wait_for(driver, lambda d: int(outcome.get_attribute('data-count')) > 0)
        self.assertEqual(outcome.get_attribute('data-status'), '200')

        # The plug-in learns of the change from an event delivered beside the
        # call: call again until it answers empty.
        card = function_card(INVENTORY)
        for _ in range(50):
            state, status, body = call(card, query='inventoryTypes.0=EMOTE&inventoryTypes.1=GEAR')
            self.assertEqual((state, status), ('ok', 200), body)
            if json.loads(body) == []:
                break
        self.assertEqual(json.loads(body), [])


if __name__ == '__main__':
    if len(sys.argv) < 2:
        sys.exit('usage: workbench_test.py BUILD_DIR')
    BUILD_DIR = sys.argv.pop(1)
    result = unittest.main(verbosity=2, exit=False).result
    failed = len(result.failures) + len(result.errors)
    # A failed module set-up counts as one failure and runs no test.
    print('browser: %d passed, %d failed' % (max(result.testsRun - failed, 0), failed))
    sys.exit(1 if failed or not result.wasSuccessful() else 0)
