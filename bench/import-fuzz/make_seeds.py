#!/usr/bin/env python3
"""Remakes the fuzz targets' seed files from the test fixtures:

    python3 bench/import-fuzz/make_seeds.py

seeds/         the fixture workbooks and the blank template as they are, and
               each .xlsx once more with its members stored uncompressed, so
               that byte mutations reach the XML inside;
seeds-stream/  the workbook stream of each .xls fixture, without its
               container (read with xlrd's compound-document reader).
"""
import glob
import os
import shutil
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.join(HERE, "..", "..")


def stored_copy(source, target):
    with zipfile.ZipFile(source) as src, zipfile.ZipFile(target, "w", zipfile.ZIP_STORED) as dst:
        for info in src.infolist():
            copy = zipfile.ZipInfo(info.filename, date_time=(1980, 1, 1, 0, 0, 0))
            dst.writestr(copy, src.read(info.filename))


def workbook_stream(path):
    from xlrd import compdoc
    with open(path, "rb") as f:
        doc = compdoc.CompDoc(f.read())
    for name in ("Workbook", "Book"):
        data = doc.get_named_stream(name)
        if data:
            return data
    return None


def main():
    seeds = os.path.join(HERE, "seeds")
    streams = os.path.join(HERE, "seeds-stream")
    for folder in (seeds, streams):
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
    fixtures = sorted(glob.glob(os.path.join(ROOT, "tests", "fixtures", "*.xls*")))
    fixtures.append(os.path.join(ROOT, "data", "KVR-Excel.xlsx"))
    for path in fixtures:
        name = os.path.basename(path)
        shutil.copyfile(path, os.path.join(seeds, name))
        if name.endswith(".xlsx"):
            stored_copy(path, os.path.join(seeds, "stored-" + name))
        else:
            try:
                data = workbook_stream(path)
            except Exception as e:  # a fixture made to be broken
                print(f"{name}: no stream ({e})", file=sys.stderr)
                continue
            if data:
                with open(os.path.join(streams, name[:-4] + ".biff"), "wb") as f:
                    f.write(data)


if __name__ == "__main__":
    main()
