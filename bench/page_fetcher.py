#!/usr/bin/env python3
"""A plain twenty-thread downloader with the same work pattern as varnelo:
each thread takes a page, fetches it, then fetches the pictures it mentions
one after the other over one kept-alive connection, and saves them."""

import http.client
import os
import queue
import re
import sys
import threading
import urllib.parse

MENTION = re.compile(rb'http[^"\'<>\s]*?\.(?:jpg|gif)')


class Fetcher:
    def __init__(self):
        self.connections = {}

    def get(self, url):
        parts = urllib.parse.urlsplit(url)
        key = (parts.hostname, parts.port or 80)
        path = parts.path + ("?" + parts.query if parts.query else "")
        for attempt in (1, 2):
            conn = self.connections.get(key)
            if conn is None:
                conn = http.client.HTTPConnection(*key, timeout=30)
                self.connections[key] = conn
            try:
                conn.request("GET", path)
                response = conn.getresponse()
                return response.status, response.read()
            except (http.client.HTTPException, OSError):
                conn.close()
                del self.connections[key]
                if attempt == 2:
                    return 0, b""


def work(pages, out_dir, counts, lock):
    fetcher = Fetcher()
    while True:
        try:
            index, url = pages.get_nowait()
        except queue.Empty:
            return
        status, page = fetcher.get(url)
        if status != 200:
            continue
        folder = os.path.join(out_dir, str(index))
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "index.html"), "wb") as f:
            f.write(page)
        saved = 0
        for n, mention in enumerate(MENTION.findall(page), 1):
            address = mention.decode("latin-1")
            status, body = fetcher.get(address)
            if status == 200 and body:
                with open(os.path.join(folder, f"{n}{address[-4:]}"), "wb") as f:
                    f.write(body)
                saved += 1
        with lock:
            counts[0] += saved


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: page_fetcher.py PAGE_LIST OUT_DIR")
    pages = queue.Queue()
    with open(sys.argv[1]) as f:
        for index, line in enumerate((l.strip() for l in f), 1):
            if line:
                pages.put((index, line))
    counts, lock = [0], threading.Lock()
    threads = [threading.Thread(target=work, args=(pages, sys.argv[2], counts, lock))
               for _ in range(20)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    print(f"{counts[0]} pictures")


if __name__ == "__main__":
    main()
