<?xml version='1.0' encoding='utf-8'?>
<TS version="2.1" language="ja_JP">
<context>
    <name>Dictation</name>
    <message>
        <location filename="../../src/app/menubarcontent.cpp" line="74" />
        <source>Copy Last Transcript</source>
        <comment>Tray menu item that copies the last dictated text to the clipboard</comment>
        <translation>最後の文字起こしをコピー</translation>
    </message>
</context>
<context>
    <name>Localizable</name>
    <message>
        <location filename="../../src/app/menubarcontent.cpp" line="72" />
        <location filename="../../src/app/workspacecommands.cpp" line="72" />
        <source>Settings…</source>
        <comment>Menu item that opens the Settings page</comment>
        <translation>設定…</translation>
    </message>
    <message>
        <location filename="../../src/app/appcommands.cpp" line="146" />
        <source>Check for Updates…</source>
        <comment>Menu item that checks for a newer version</comment>
        <translation>アップデートを確認…</translation>
    </message>
    <message>
        <location filename="../../src/app/appcommands.cpp" line="147" />
        <source>Automatically Check for Updates</source>
        <comment>Menu toggle for scheduled update checks</comment>
        <translation>アップデートを自動的に確認</translation>
    </message>
    <message>
        <location filename="../../src/app/main.cpp" line="80" />
        <source>About Velmora</source>
        <comment>Dialog title</comment>
        <translation>Velmoraについて</translation>
    </message>
    <message>
        <location filename="../../src/app/main.cpp" line="81" />
        <source>Velmora %1
A private writing toolkit that runs entirely on this computer.</source>
        <comment>About dialog text; %1 is the version</comment>
        <translation>Velmora %1
このコンピュータの中だけで動く、プライベートなライティングツールです。</translation>
    </message>
    <message>
        <location filename="../../src/app/mainwindow.cpp" line="54" />
        <location filename="../../src/app/mainwindow.cpp" line="56" />
        <source>Velmora</source>
        <comment>Main window title: the program name</comment>
        <translation>Velmora</translation>
    </message>
</context>
<context>
    <name>MenuBar</name>
    <message>
        <location filename="../../src/app/appcommands.cpp" line="132" />
        <source>&amp;File</source>
        <comment>Menu title</comment>
        <translation>ファイル(&amp;F)</translation>
    </message>
    <message>
        <location filename="../../src/app/appcommands.cpp" line="133" />
        <location filename="../../src/app/menubarcontent.cpp" line="71" />
        <source>Quit Velmora</source>
        <comment>Menu item that quits the program</comment>
        <translation>Velmoraを終了</translation>
    </message>
    <message>
        <location filename="../../src/app/appcommands.cpp" line="134" />
        <source>&amp;Edit</source>
        <comment>Menu title</comment>
        <translation>編集(&amp;E)</translation>
    </message>
    <message>
        <location filename="../../src/app/appcommands.cpp" line="135" />
        <source>Undo</source>
        <comment>Edit menu item</comment>
        <translation>取り消す</translation>
    </message>
    <message>
        <location filename="../../src/app/appcommands.cpp" line="136" />
        <source>Redo</source>
        <comment>Edit menu item</comment>
        <translation>やり直す</translation>
    </message>
    <message>
        <location filename="../../src/app/appcommands.cpp" line="137" />
        <source>Cut</source>
        <comment>Edit menu item</comment>
        <translation>カット</translation>
    </message>
    <message>
        <location filename="../../src/app/appcommands.cpp" line="138" />
        <source>Copy</source>
        <comment>Edit menu item</comment>
        <translation>コピー</translation>
    </message>
    <message>
        <location filename="../../src/app/appcommands.cpp" line="139" />
        <source>Paste</source>
        <comment>Edit menu item</comment>
        <translation>ペースト</translation>
    </message>
    <message>
        <location filename="../../src/app/appcommands.cpp" line="140" />
        <source>Delete</source>
        <comment>Edit menu item</comment>
        <translation>削除</translation>
    </message>
    <message>
        <location filename="../../src/app/appcommands.cpp" line="141" />
        <source>Select All</source>
        <comment>Edit menu item</comment>
        <translation>すべてを選択</translation>
    </message>
    <message>
        <location filename="../../src/app/appcommands.cpp" line="142" />
        <source>&amp;View</source>
        <comment>Menu title</comment>
        <translation>表示(&amp;V)</translation>
    </message>
    <message>
        <location filename="../../src/app/appcommands.cpp" line="143" />
        <source>&amp;Help</source>
        <comment>Menu title</comment>
        <translation>ヘルプ(&amp;H)</translation>
    </message>
    <message>
        <location filename="../../src/app/appcommands.cpp" line="144" />
        <source>About Velmora</source>
        <comment>Help menu item</comment>
        <translation>Velmoraについて</translation>
    </message>
    <message>
        <location filename="../../src/app/menubarcontent.cpp" line="68" />
        <source>Open Velmora</source>
        <comment>Tray menu item that shows the main window</comment>
        <translation>Velmoraを開く</translation>
    </message>
    <message>
        <location filename="../../src/app/menubarcontent.cpp" line="69" />
        <source>Free Up Memory</source>
        <comment>Tray menu item that unloads the idle speech and writing models</comment>
        <translation>メモリを解放</translation>
    </message>
</context>
</TS>