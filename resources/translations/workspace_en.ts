<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>Workspace</name>
    <message numerus="yes">
        <source>%n words</source>
        <comment>Count of an entry&apos;s words</comment>
        <translation>
            <numerusform>%n word</numerusform>
            <numerusform>%n words</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n characters</source>
        <comment>Count of an entry&apos;s characters</comment>
        <translation>
            <numerusform>%n character</numerusform>
            <numerusform>%n characters</numerusform>
        </translation>
    </message>
</context>
</TS>
