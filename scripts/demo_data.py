#!/usr/bin/env python3
"""Fills a copy of the delivered database with a few made-up examinees and
their answers, for screenshots. Usage: demo_data.py PATH/KVRDB.mdb"""
import random
import sqlite3
import sys

EXAMINEES = [
    ("1", "مريم احمدي", "34", "زن", "متاهل", "1403/02/11", "كارشناسي", "09120000001", "دكتر رضايي"),
    ("2", "علي رضايي", "27", "مرد", "مجرد", "1403/02/14", "ديپلم", "09120000002", "دكتر رضايي"),
    ("3", "زهرا كريمي", "41", "زن", "متاهل", "1403/03/02", "كارشناسي ارشد", "09120000003", "دكتر محمدي"),
    ("4", "حسين موسوي", "52", "مرد", "متاهل", "1403/03/09", "دكترا", "09120000004", "دكتر محمدي"),
]


def main():
    db = sqlite3.connect(sys.argv[1])
    rnd = random.Random(7)
    for row in EXAMINEES:
        db.execute('INSERT INTO IDE (Code, FullName, "Alter", Geschlecht, Heirat, Datum1, Bildung, TelNummer1, Tester)'
                   ' VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)', row)
        answers = [str(rnd.choice([0, 1, 1, 2])) for _ in range(40)]
        cols = ", ".join(f'"{n}"' for n in range(1, 41))
        db.execute(f"INSERT INTO Answer1 (Code, {cols}) VALUES (?, {', '.join('?' * 40)})",
                   [int(row[0])] + answers)
    db.execute("UPDATE Theme SET Tel = ?, Web = ?, Mosch = ?",
               ("021-00000000", "www.clinic.example", "www.clinic.example\r\n021-00000000\r\n"))
    db.commit()


if __name__ == "__main__":
    main()
