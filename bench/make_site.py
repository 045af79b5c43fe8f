#!/usr/bin/env python3
"""Generates a static site for the download benchmark: pages that mention
pictures by their full addresses, the pictures themselves, and the two lists
the tools are given (the pages, and the pictures alone)."""

import argparse
import os


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--root", required=True, help="the web server's document root")
    parser.add_argument("--name", required=True, help="folder of this site below the root")
    parser.add_argument("--base", required=True, help="http://host:port of the server")
    parser.add_argument("--pages", type=int, default=200)
    parser.add_argument("--pictures", type=int, default=20, help="mentions per page")
    parser.add_argument("--gifs", type=int, default=5, help="of which '.gif' (the rest '.jpg')")
    parser.add_argument("--size", type=int, default=32 * 1024, help="bytes per picture")
    parser.add_argument("--distinct", type=int, default=16,
                        help="distinct picture bodies; the other files are hard links to them")
    args = parser.parse_args()

    site = os.path.join(args.root, args.name)
    os.makedirs(os.path.join(site, "p"), exist_ok=True)
    os.makedirs(os.path.join(site, "img"), exist_ok=True)

    bodies = []
    for k in range(min(args.distinct, args.pages * args.pictures) or 1):
        path = os.path.join(site, "img", f".body{k}")
        with open(path, "wb") as f:
            f.write(os.urandom(args.size))
        bodies.append(path)

    page_urls, picture_urls = [], []
    counter = 0
    for i in range(1, args.pages + 1):
        lines = [
            "<!DOCTYPE html>",
            '<html><head><meta charset="utf-8">',
            f"<title>{args.name} page {i}</title></head>",
            "<body>",
            f"<h1>Gallery {i}</h1>",
        ]
        for k in range(1, args.pictures + 1):
            ext = "gif" if k > args.pictures - args.gifs else "jpg"
            file_name = f"{i}_{k}.{ext}"
            target = os.path.join(site, "img", file_name)
            if not os.path.exists(target):
                os.link(bodies[counter % len(bodies)], target)
            counter += 1
            url = f"{args.base}/{args.name}/img/{file_name}"
            picture_urls.append(url)
            lines.append(f'<div class="item"><a href="/{args.name}/p/{i}.html">'
                         f'<img src="{url}" alt="picture {k}"></a></div>')
        lines += ["</body></html>", ""]
        with open(os.path.join(site, "p", f"{i}.html"), "w", encoding="utf-8") as f:
            f.write("\n".join(lines))
        page_urls.append(f"{args.base}/{args.name}/p/{i}.html")

    with open(os.path.join(site, "pages.txt"), "w") as f:
        f.write("\n".join(page_urls) + "\n")
    with open(os.path.join(site, "pictures.txt"), "w") as f:
        f.write("\n".join(picture_urls) + "\n")


if __name__ == "__main__":
    main()
