<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>Translate</name>
    <message numerus="yes">
        <source>%n characters</source>
        <comment>Character count of the source</comment>
        <translation>
            <numerusform>%n character</numerusform>
            <numerusform>%n characters</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n words</source>
        <comment>Result pane word count</comment>
        <translation>
            <numerusform>%n word</numerusform>
            <numerusform>%n words</numerusform>
        </translation>
    </message>
</context>
</TS>
