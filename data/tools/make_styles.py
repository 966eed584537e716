#!/usr/bin/env python3
"""Writes the program's looks under data/Styles/.

Each look is a folder named by its style (e.g. "Office2010.cjstyles") holding
one scheme file per colour scheme ("NormalBlue.ini") and the style sheet that
scheme names ("NormalBlue.qss"). A scheme file gives the Qt style, the palette
colours and the style sheet. Run from anywhere: python3 data/tools/make_styles.py
"""
import os

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(os.path.dirname(HERE), "Styles")

# window: window background; panel: tab pages and group boxes; base: edit
# fields; text/wtext: text on fields / on windows; btn1..btn2: button gradient;
# tb1..tb2: toolbar gradient; tbtext: toolbar text; accent: selection, focus,
# hover frame; acctext: text on accent; border; r: corner radius (px).
LOOKS = [
    ("Le5", "Normalblue", "Fusion", dict(
        window="#dfe7f1", panel="#edf2f8", base="#ffffff", text="#14213a", wtext="#14213a",
        btn1="#f4f7fb", btn2="#d3deec", tb1="#f2f6fb", tb2="#c9d7ea", tbtext="#14213a",
        accent="#3a6ea5", acctext="#ffffff", border="#8aa2c2", hover="#e2ecf8", r=2)),
    ("WinXP.Luna.cjstyles", "NormalHomestead", "Fusion", dict(
        window="#ece9d8", panel="#f6f4ea", base="#fffff8", text="#2c2f14", wtext="#2c2f14",
        btn1="#fbfbef", btn2="#d9dcb8", tb1="#e4ebc8", tb2="#a4b97f", tbtext="#232a0c",
        accent="#7a934c", acctext="#ffffff", border="#8c9d6a", hover="#eef3d6", r=4)),
    ("WinXP.Luna.cjstyles", "NormalMetallic", "Fusion", dict(
        window="#e0dfe3", panel="#efeff2", base="#ffffff", text="#26262e", wtext="#26262e",
        btn1="#fdfdfe", btn2="#c8c7d2", tb1="#f3f3f7", tb2="#b3b2c3", tbtext="#26262e",
        accent="#8e8d9f", acctext="#ffffff", border="#9897a8", hover="#e9e9f0", r=4, link="#3b3a8f")),
    ("WinXP.Royale.cjstyles", "NormalRoyale", "Fusion", dict(
        window="#ebe9ed", panel="#f7f6f9", base="#ffffff", text="#101a3a", wtext="#101a3a",
        btn1="#ffffff", btn2="#d5dff2", tb1="#dbe7fb", tb2="#7a9fd9", tbtext="#0c1a44",
        accent="#335ea8", acctext="#ffffff", border="#7f95c0", hover="#e5edfc", r=3)),
    ("zune.msstyles", "NormalDefault", "Fusion", dict(
        window="#2b2b2b", panel="#363636", base="#1e1e1e", text="#f2f2f2", wtext="#f2f2f2",
        btn1="#4a4a4a", btn2="#2f2f2f", tb1="#3c3c3c", tb2="#1a1a1a", tbtext="#f5f5f5",
        accent="#f47b20", acctext="#1a1a1a", border="#5a5a5a", hover="#4d3a2a", r=3)),
    ("iTunes", "Normalitunes", "Fusion", dict(
        window="#d6d6d6", panel="#e6e6e6", base="#ffffff", text="#1f1f1f", wtext="#1f1f1f",
        btn1="#fafafa", btn2="#bdbdbd", tb1="#e9e9e9", tb2="#a9a9a9", tbtext="#1f1f1f",
        accent="#6e8bb3", acctext="#ffffff", border="#8c8c8c", hover="#dde4ee", r=10)),
    ("Windows8.cjstyles", "NormalAero", "Fusion", dict(
        window="#ffffff", panel="#f4f4f4", base="#ffffff", text="#1b1b1b", wtext="#1b1b1b",
        btn1="#e6e6e6", btn2="#e6e6e6", tb1="#2d89ef", tb2="#2d89ef", tbtext="#ffffff",
        accent="#2d89ef", acctext="#ffffff", border="#abadb3", hover="#cde6f7", r=0)),
    ("WinXP.Luna.cjstyles", "NormalBlue", "Fusion", dict(
        window="#ece9d8", panel="#f4f3ee", base="#ffffff", text="#000000", wtext="#000000",
        btn1="#ffffff", btn2="#d6d0c0", tb1="#3d95ff", tb2="#0a4dcc", tbtext="#ffffff",
        accent="#0054e3", acctext="#ffffff", border="#7a96df", hover="#fff0c0", r=3)),
    ("Office2007.cjstyles", "NormalBlue", "Fusion", dict(
        window="#bfdbff", panel="#dbe8f9", base="#ffffff", text="#15428b", wtext="#15428b",
        btn1="#ffffff", btn2="#c3daf9", tb1="#e3efff", tb2="#afd2ff", tbtext="#15428b",
        accent="#ffbd4a", acctext="#15428b", border="#8db2e3", hover="#ffe7a2", r=3, link="#0b4fa8")),
    ("Office2007.cjstyles", "NormalBlack", "Fusion", dict(
        window="#535353", panel="#6a6a6a", base="#f4f4f4", text="#111111", wtext="#f2f2f2",
        btn1="#8a8a8a", btn2="#4d4d4d", tb1="#7b7b7b", tb2="#3a3a3a", tbtext="#ffffff",
        accent="#ffbd4a", acctext="#1a1a1a", border="#2c2c2c", hover="#8d7a50", r=3)),
    ("Office2007.cjstyles", "NormalSilver", "Fusion", dict(
        window="#d0d4dd", panel="#e8eaef", base="#ffffff", text="#2b2f3a", wtext="#2b2f3a",
        btn1="#ffffff", btn2="#cdd1da", tb1="#f3f4f7", tb2="#bcc2cf", tbtext="#2b2f3a",
        accent="#ffbd4a", acctext="#2b2f3a", border="#a7aebd", hover="#ffe7a2", r=3, link="#1f4e99")),
    ("Office2007.cjstyles", "NormalAqua", "Fusion", dict(
        window="#b9e0e6", panel="#daf0f3", base="#ffffff", text="#0d3c44", wtext="#0d3c44",
        btn1="#f5fdfe", btn2="#a8d9e0", tb1="#e0f6f9", tb2="#7fc6d1", tbtext="#0d3c44",
        accent="#2aa9b8", acctext="#ffffff", border="#6fb6c1", hover="#c9f0f5", r=3)),
    ("Office2010.cjstyles", "NormalBlue", "Fusion", dict(
        window="#cfddee", panel="#e9f0f8", base="#ffffff", text="#1e395b", wtext="#1e395b",
        btn1="#f6f9fd", btn2="#dce6f4", tb1="#f6f9fd", tb2="#dbe5f2", tbtext="#1e395b",
        accent="#3d6fb0", acctext="#ffffff", border="#a0b6d3", hover="#fde9a6", r=2)),
    ("Office2010.cjstyles", "NormalBlack", "Fusion", dict(
        window="#444444", panel="#525252", base="#f0f0f0", text="#101010", wtext="#eeeeee",
        btn1="#6a6a6a", btn2="#4a4a4a", tb1="#5c5c5c", tb2="#333333", tbtext="#f0f0f0",
        accent="#e8a317", acctext="#1a1a1a", border="#262626", hover="#7a6330", r=2)),
    ("Office2010.cjstyles", "NormalSilver", "Fusion", dict(
        window="#e9ecf0", panel="#f6f7f9", base="#ffffff", text="#3b3b3b", wtext="#3b3b3b",
        btn1="#ffffff", btn2="#e5e8ec", tb1="#ffffff", tb2="#dfe3e8", tbtext="#3b3b3b",
        accent="#7f8ea3", acctext="#ffffff", border="#b6bcc6", hover="#fde9a6", r=2, link="#2a5699")),
    ("Vista.cjstyles", "NormalBlue", "Fusion", dict(
        window="#dce8f5", panel="#eef4fb", base="#ffffff", text="#0f2a45", wtext="#0f2a45",
        btn1="#f2f8fd", btn2="#bcd9f1", tb1="#fafdff", tb2="#9dc3e6", tbtext="#0f2a45",
        accent="#3c7fb1", acctext="#ffffff", border="#7ea6c9", hover="#d8ecfb", r=5)),
    ("Vista.cjstyles", "NormalBlack", "Fusion", dict(
        window="#1e1e1e", panel="#2a2a2a", base="#121212", text="#e8f1fa", wtext="#e8f1fa",
        btn1="#4b4b4b", btn2="#161616", tb1="#505050", tb2="#0c0c0c", tbtext="#ffffff",
        accent="#5fa8e8", acctext="#0c0c0c", border="#575757", hover="#24435f", r=5)),
    ("Vista.cjstyles", "NormalSilver", "Fusion", dict(
        window="#eef0f2", panel="#f8f9fa", base="#ffffff", text="#2d3640", wtext="#2d3640",
        btn1="#ffffff", btn2="#d7dce2", tb1="#ffffff", tb2="#c7ced6", tbtext="#2d3640",
        accent="#7a8da3", acctext="#ffffff", border="#a4afbb", hover="#e4eaf1", r=5, link="#2a5699")),
    ("Codejock.cjstyles", "NormalBlue", "Fusion", dict(
        window="#d7e3f4", panel="#ebf1fa", base="#ffffff", text="#0e2b52", wtext="#0e2b52",
        btn1="#ffffff", btn2="#c2d5ef", tb1="#4f86cf", tb2="#1f5fa8", tbtext="#ffffff",
        accent="#1f5fa8", acctext="#ffffff", border="#89a8d3", hover="#dfeaf8", r=6)),
    ("Codejock.cjstyles", "NormalBlack", "Fusion", dict(
        window="#303030", panel="#3b3b3b", base="#222222", text="#ececec", wtext="#ececec",
        btn1="#505050", btn2="#383838", tb1="#454545", tb2="#242424", tbtext="#ececec",
        accent="#4aa3df", acctext="#101010", border="#5c5c5c", hover="#2d4a60", r=6)),
]

QSS = """/* {title} */
QMainWindow, QDialog {{ background-color: {window}; }}
QToolBar {{ background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 {tb1}, stop:1 {tb2});
  border: none; border-bottom: 1px solid {border}; spacing: 4px; padding: 3px; }}
QToolBar QToolButton {{ color: {tbtext}; background: transparent; border: 1px solid transparent;
  border-radius: {r}px; padding: 3px 8px; }}
QToolBar QToolButton:hover {{ background: {hover}; border-color: {accent}; color: {text}; }}
QToolBar QToolButton:pressed {{ background: {accent}; color: {acctext}; }}
QPushButton {{ color: {wtext}; background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 {btn1}, stop:1 {btn2});
  border: 1px solid {border}; border-radius: {r}px; padding: 4px 14px; min-height: 22px; }}
QPushButton:hover {{ border-color: {accent}; }}
QPushButton:pressed {{ background: {accent}; color: {acctext}; }}
QPushButton:disabled {{ color: {border}; }}
QLineEdit, QTextEdit, QPlainTextEdit, QSpinBox, QComboBox {{ background: {base}; color: {text};
  border: 1px solid {border}; border-radius: {r2}px; padding: 2px 4px;
  selection-background-color: {accent}; selection-color: {acctext}; }}
QLineEdit:focus, QTextEdit:focus, QPlainTextEdit:focus {{ border: 1px solid {accent}; }}
QTabWidget::pane {{ border: 1px solid {border}; background: {panel}; top: -1px; }}
QTabBar::tab {{ background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 {btn1}, stop:1 {btn2});
  color: {wtext}; border: 1px solid {border}; padding: 5px 16px; margin: 0 1px;
  border-top-left-radius: {r}px; border-top-right-radius: {r}px; }}
QTabBar::tab:selected {{ background: {panel}; border-bottom-color: {panel}; border-top: 3px solid {accent}; }}
QTabBar::tab:!selected:hover {{ background: {hover}; }}
QGroupBox {{ background: {panel}; border: 1px solid {border}; border-radius: {r}px; margin-top: 1.2em; color: {wtext}; }}
QGroupBox::title {{ subcontrol-origin: margin; subcontrol-position: top center; padding: 0 6px; color: {accent}; }}
QTableView, QListView, QTreeView {{ background: {base}; color: {text}; gridline-color: {border};
  selection-background-color: {accent}; selection-color: {acctext}; }}
QHeaderView::section {{ background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 {tb1}, stop:1 {tb2});
  color: {tbtext}; border: 1px solid {border}; padding: 3px; }}
QToolTip {{ background: {panel}; color: {wtext}; border: 1px solid {accent}; }}
QProgressBar {{ border: 1px solid {border}; border-radius: {r}px; background: {base}; text-align: center; color: {text}; }}
QProgressBar::chunk {{ background: {accent}; }}
"""



def main():
    for style, scheme, qtstyle, c in LOOKS:
        folder = os.path.join(OUT, style)
        os.makedirs(folder, exist_ok=True)
        vals = dict(c)
        vals["r2"] = min(c["r"], 4)
        vals["title"] = f"{style} / {scheme}"
        with open(os.path.join(folder, scheme + ".qss"), "w", encoding="utf-8", newline="\n") as f:
            f.write(QSS.format(**vals))
        ini = [
            "[Look]",
            f"Style={qtstyle}",
            f"StyleSheet={scheme}.qss",
            "",
            "[Palette]",
            f'Window="{c["window"]}"',
            f'WindowText="{c["wtext"]}"',
            f'Base="{c["base"]}"',
            f'AlternateBase="{c["panel"]}"',
            f'Text="{c["text"]}"',
            f'Button="{c["btn2"]}"',
            f'ButtonText="{c["wtext"]}"',
            f'Highlight="{c["accent"]}"',
            f'HighlightedText="{c["acctext"]}"',
            f'ToolTipBase="{c["panel"]}"',
            f'ToolTipText="{c["wtext"]}"',
            f'Link="{c.get("link", c["accent"])}"',
            "",
        ]
        with open(os.path.join(folder, scheme + ".ini"), "w", encoding="utf-8", newline="\n") as f:
            f.write("\n".join(ini))


if __name__ == "__main__":
    main()
