<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>Workspace</name>
    <message>
        <source>Bigger</source>
        <comment>View menu: make text bigger</comment>
        <translation>拡大</translation>
    </message>
    <message>
        <source>Smaller</source>
        <comment>View menu: make text smaller</comment>
        <translation>縮小</translation>
    </message>
    <message>
        <source>Actual Size</source>
        <comment>View menu: reset text to the default size</comment>
        <translation>実際のサイズ</translation>
    </message>
    <message>
        <source>More</source>
        <comment>VoiceOver label for a tool page's overflow menu</comment>
        <translation>その他</translation>
    </message>
    <message>
        <source>Copy</source>
        <comment>History entry button</comment>
        <translation>コピー</translation>
    </message>
    <message>
        <source>Copied</source>
        <comment>History entry Copy button, briefly after copying</comment>
        <translation>コピーしました</translation>
    </message>
</context>
</TS>