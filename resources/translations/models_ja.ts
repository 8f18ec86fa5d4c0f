<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>Models</name>
    <message>
        <source>Zero KB</source>
        <comment>A file size of nothing</comment>
        <translation>ゼロ KB</translation>
    </message>
    <message>
        <source>%1 bytes</source>
        <comment>A file size under a kilobyte; placeholder is the count</comment>
        <translation>%1 バイト</translation>
    </message>
    <message>
        <source>Download interrupted. Click Retry to continue.</source>
        <comment>Model download failure: the connection failed</comment>
        <translation>ダウンロードが中断されました。「再試行」をクリックすると続きからダウンロードします。</translation>
    </message>
    <message>
        <source>The download server is busy. Wait a few minutes, then click Retry.</source>
        <comment>Model download failure: the server kept answering that it is busy</comment>
        <translation>ダウンロードサーバが混み合っています。数分待ってから「再試行」をクリックしてください。</translation>
    </message>
    <message>
        <source>This download is no longer available. Check for a Velmora update.</source>
        <comment>Model download failure: the file is gone from the server</comment>
        <translation>このダウンロードは利用できなくなりました。Velmora のアップデートを確認してください。</translation>
    </message>
    <message>
        <source>Couldn&apos;t reach the download server. Check your internet connection, then click Retry.</source>
        <comment>Model download failure: the server&apos;s answer made no sense</comment>
        <translation>ダウンロードサーバに接続できませんでした。インターネット接続を確認してから「再試行」をクリックしてください。</translation>
    </message>
    <message>
        <source>The download was damaged. Click Retry to download it again.</source>
        <comment>Model download failure: the file&apos;s checksum is wrong</comment>
        <translation>ダウンロードしたファイルが破損していました。「再試行」をクリックしてもう一度ダウンロードしてください。</translation>
    </message>
    <message>
        <source>Not enough disk space. The download needs %1 free. Free up some space, then click Retry.</source>
        <comment>Model download failure; placeholder is the free space needed</comment>
        <translation>ディスクの空き容量が足りません。ダウンロードには %1 の空き容量が必要です。空き容量を確保してから「再試行」をクリックしてください。</translation>
    </message>
    <message>
        <source>Couldn&apos;t save the download to this computer. Restart Velmora and try again.</source>
        <comment>Model download failure: the file could not be written or moved into place</comment>
        <translation>ダウンロードをこのコンピュータに保存できませんでした。Velmora を再起動してもう一度お試しください。</translation>
    </message>
</context>
</TS>
