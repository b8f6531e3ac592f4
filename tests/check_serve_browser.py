#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 The Quillary developers
# The lookup page in a real browser: qlbook serve over a small book, headless
# chromium driven through selenium, and the page checked after each step a
# reader takes (an offer chosen, a link followed, Back, a full-text search).
# Exits 77 (skipped) when chromium, chromedriver or selenium is not there.
# Usage: check_serve_browser.py QLBOOK
import os
import shutil
import subprocess
import sys
import tempfile
import time

CHROMIUM = "/usr/bin/chromium"


def skip(why):
    print("check_serve_browser: skipped: " + why)
    sys.exit(77)


if not os.access(CHROMIUM, os.X_OK):
    skip(CHROMIUM + " is not installed")
driver_path = shutil.which("chromedriver")
if not driver_path:
    skip("chromedriver is not installed (chromium-driver)")
try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
    from selenium.webdriver.support.ui import WebDriverWait
except ImportError:
    skip("selenium is not installed (python3-selenium)")

qlbook = sys.argv[1]
home = tempfile.mkdtemp(prefix="ql-browser-")
env = dict(os.environ)
for name in ("XDG_CACHE_HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"):
    env[name] = os.path.join(home, name.lower())
book = os.path.join(home, "fruit.ql")
with open(os.path.join(home, "fruit.tsv"), "w", encoding="utf-8") as f:
    f.write("apple\tA red fruit. See <a:pear tree>the pear</a>.\n")
    f.write("apricot\tA small orange fruit.\n")
    f.write("pear tree\tIt bears pears.\n")
subprocess.run([qlbook, "import", os.path.join(home, "fruit.tsv"), book, "--format", "tab"],
               env=env, check=True, stdout=subprocess.DEVNULL)
subprocess.run([qlbook, "index", book], env=env, check=True, stdout=subprocess.DEVNULL)
out = open(os.path.join(home, "serve.out"), "w+")
server = subprocess.Popen([qlbook, "serve", book, "--listen", "127.0.0.1:0"], env=env,
                          stdout=out)
failures = []
browser = None
try:
    for _ in range(200):
        out.seek(0)
        url = out.readline().strip()
        if url or server.poll() is not None:
            break
        time.sleep(0.05)
    if not url:
        sys.exit("check_serve_browser: qlbook serve printed no address")

    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                "--user-data-dir=" + os.path.join(home, "chromium")):
        options.add_argument(arg)
    browser = webdriver.Chrome(service=Service(driver_path), options=options)
    wait = WebDriverWait(browser, 15)

    def entries_text():
        return " ".join(e.text for e in browser.find_elements(By.CSS_SELECTOR, "#entries .entry"))

    def step(name, done):
        try:
            wait.until(lambda _: done())
        except Exception:
            failures.append("%s: at %s the entries show %r, the status %r" % (
                name, browser.current_url, entries_text(),
                browser.find_element(By.ID, "status").text))

    browser.get(url)
    field = browser.find_element(By.ID, "q")
    field.send_keys("ap")
    step("offers for 'ap'", lambda: [o.get_attribute("value") for o in
                                     browser.find_elements(By.CSS_SELECTOR, "#subjects option")]
         == ["apple", "apricot"])
    offer = browser.find_elements(By.CSS_SELECTOR, "#subjects option")[0].get_attribute("value")
    field.clear()
    field.send_keys(offer, Keys.ENTER)
    step("the offer chosen", lambda: "A red fruit" in entries_text()
         and browser.current_url.endswith("/?q=apple"))
    browser.find_element(By.CSS_SELECTOR, "#entries a[href='/?q=pear%20tree']").click()
    step("the link followed", lambda: "It bears pears" in entries_text()
         and "red fruit" not in entries_text())
    browser.back()
    step("Back", lambda: "A red fruit" in entries_text()
         and browser.current_url.endswith("/?q=apple"))
    field = browser.find_element(By.ID, "q")
    field.clear()
    field.send_keys("orange", Keys.ENTER)
    step("the full-text search", lambda: browser.find_element(By.ID, "hits").is_displayed()
         and [a.text for a in browser.find_elements(By.CSS_SELECTOR, "#hitlist li > a")]
         == ["apricot"]
         and [m.text for m in browser.find_elements(By.CSS_SELECTOR, "#hitlist mark")]
         == ["orange"])
    step("no entry for 'orange'", lambda: "No book has" in browser.find_element(
        By.ID, "status").text)
    browser.find_element(By.CSS_SELECTOR, "#hitlist li > a").click()
    step("the hit opened", lambda: "A small orange fruit" in entries_text()
         and browser.find_element(By.ID, "q").get_attribute("value") == "apricot")
finally:
    if browser:
        browser.quit()
    server.terminate()
    server.wait(timeout=10)
    shutil.rmtree(home, ignore_errors=True)
for f in failures:
    print("check_serve_browser: " + f)
sys.exit(1 if failures else 0)
