#!/usr/bin/env python3
"""Writes deterministic German-like prose: words with umlauts and sharp s at
about their usual rate, punctuation, paragraphs wrapped at about 72 columns.
With --letter it writes the words of one business letter instead, twelve to
a line, drawn at random.

Usage: make_prose.py SIZE [--letter]   (SIZE in bytes, written exactly)"""
import argparse
import random
import sys

WORDS = """der die und in den von zu das mit sich des auf für ist im dem nicht ein
die eine als auch es an werden aus er hat daß sie nach wird bei einer um am sind noch
wie einem über einen so zum war haben nur oder aber vor zur bis mehr durch man sein
wurde sei Jahr können Zeit zwei sagte schon wenn Millionen Menschen ihre gegen vom
Prozent Mark neue dann unter wir soll ich eines Deutschland diese wieder keine seine
Jahren müssen Stadt beim Frage Weise gut große Straße Bürger Arbeit Woche natürlich
während später ließ Grüße Verfügung schön möchte würde zurück Entwicklung Regierung
Unternehmen Ende gestern heute morgen Brief Nachricht Antwort freundlich Angebot""".split()

LETTER_WORDS = ("Sehr geehrte Damen und Herren, bitte senden Sie mir ein Angebot über drei "
                "Stück in Größe XL. Grüße").split()


def prose_chunks():
    rng = random.Random(20191121)
    while True:
        paragraph = []
        for _ in range(rng.randint(3, 8)):
            words = [rng.choice(WORDS) for _ in range(rng.randint(6, 18))]
            words[0] = words[0][:1].upper() + words[0][1:]
            if rng.random() < 0.3:
                words[rng.randrange(1, len(words))] += ","
            paragraph.append(" ".join(words) + rng.choice(".....!?:"))
        lines, line = [], ""
        for word in " ".join(paragraph).split(" "):
            if line and len(line) + 1 + len(word) > 72:
                lines.append(line)
                line = word
            else:
                line = f"{line} {word}" if line else word
        lines.append(line)
        yield ("\n".join(lines) + "\n\n").encode("utf-8")


def letter_chunks():
    rng = random.Random(7)
    while True:
        yield (" ".join(rng.choice(LETTER_WORDS) for _ in range(12)) + "\n").encode("utf-8")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("size", type=int)
    parser.add_argument("--letter", action="store_true", help="the letter text")
    options = parser.parse_args()
    out = sys.stdout.buffer
    written = 0
    for chunk in letter_chunks() if options.letter else prose_chunks():
        if written >= options.size:
            break
        chunk = chunk[: options.size - written]  # the last one cut to size
        out.write(chunk)
        written += len(chunk)


if __name__ == "__main__":
    main()
