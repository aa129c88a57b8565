#!/usr/bin/env python3
"""Writes deterministic German-like prose: words with umlauts and sharp s at
about their usual rate, punctuation, paragraphs wrapped at about 72 columns."""
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


def main():
    size = int(sys.argv[1])
    rng = random.Random(20191121)
    out = sys.stdout.buffer
    written = 0
    while written < size:
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
        chunk = ("\n".join(lines) + "\n\n").encode("utf-8")
        chunk = chunk[: size - written]
        out.write(chunk)
        written += len(chunk)


if __name__ == "__main__":
    main()
