<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<!-- The program's own Persian texts for Qt's dialogs, installed on top of
     Qt's Persian translation (qtbase_fa.qm). Built into the program by
     lrelease at build time (common/CMakeLists.txt). -->
<TS version="2.1" language="fa_IR">
<context>
    <name>QPlatformTheme</name>
    <message><source>OK</source><translation>تاييد</translation></message>
    <message><source>&amp;Yes</source><translation>بلي</translation></message>
    <message><source>&amp;No</source><translation>خير</translation></message>
    <message><source>Cancel</source><translation>انصراف</translation></message>
    <message><source>Close</source><translation>بستن</translation></message>
    <message><source>Save</source><translation>ذخيره</translation></message>
    <message><source>Open</source><translation>باز كردن</translation></message>
</context>
<context>
    <name>QDialogButtonBox</name>
    <message><source>OK</source><translation>تاييد</translation></message>
</context>
<context>
    <name>QFileDialog</name>
    <message><source>&amp;Save</source><translation>ذخيره</translation></message>
    <message><source>&amp;Open</source><translation>باز كردن</translation></message>
</context>
</TS>
