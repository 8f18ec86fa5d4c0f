<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>Workspace</name>
    <message>
        <source>Translation failed.</source>
        <comment>History preview of a Translate entry without text</comment>
        <translation>翻訳できませんでした。</translation>
    </message>
    <message>
        <source>Summary failed.</source>
        <comment>History preview of a Summarize entry without text</comment>
        <translation>要約できませんでした。</translation>
    </message>
    <message>
        <source>No text.</source>
        <comment>History preview of an entry without text</comment>
        <translation>テキストはありません。</translation>
    </message>
    <message>
        <source>Transcription failed.</source>
        <comment>History preview of an entry without text</comment>
        <translation>文字起こしできませんでした。</translation>
    </message>
    <message>
        <source>Transcription failed. The audio was kept.</source>
        <comment>History preview of an entry without text</comment>
        <translation>文字起こしできませんでした。音声は保存されています。</translation>
    </message>
    <message>
        <source>Recording interrupted.</source>
        <comment>History preview of an entry without text</comment>
        <translation>録音が中断されました。</translation>
    </message>
    <message>
        <source>Recording interrupted. The audio was kept.</source>
        <comment>History preview of an entry without text</comment>
        <translation>録音が中断されました。音声は保存されています。</translation>
    </message>
    <message>
        <source>Yesterday %1</source>
        <comment>History time of an entry from yesterday; placeholder is the time</comment>
        <translation>昨日 %1</translation>
    </message>
    <message>
        <source>Delete this entry?</source>
        <comment>Delete History entry confirmation</comment>
        <translation>この項目を削除しますか？</translation>
    </message>
    <message>
        <source>This can&apos;t be undone.</source>
        <comment>Delete History entry confirmation message</comment>
        <translation>この操作は取り消せません。</translation>
    </message>
    <message>
        <source>Delete</source>
        <comment>History entry button</comment>
        <translation>削除</translation>
    </message>
</context>
</TS>
