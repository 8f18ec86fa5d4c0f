<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>Dictation</name>
    <message>
        <source>Stopping…</source>
        <comment>Dictation status while a run is still being wound down</comment>
        <translation>停止中…</translation>
    </message>
    <message>
        <source>Pasted</source>
        <comment>Dictation status after a run that produced a transcript</comment>
        <translation>ペースト済み</translation>
    </message>
    <message>
        <source>Ready</source>
        <comment>Dictation status when no run is going</comment>
        <translation>準備完了</translation>
    </message>
    <message>
        <source>Preparing…</source>
        <comment>Dictation status while the recording starts</comment>
        <translation>準備中…</translation>
    </message>
    <message>
        <source>Recording</source>
        <comment>Dictation status while recording</comment>
        <translation>録音中</translation>
    </message>
    <message>
        <source>Loading…</source>
        <comment>Dictation status while the speech model loads after the recording</comment>
        <translation>読み込み中…</translation>
    </message>
    <message>
        <source>Transcribing…</source>
        <comment>Dictation status while the recording is transcribed</comment>
        <translation>文字起こし中…</translation>
    </message>
    <message>
        <source>Cleaning up…</source>
        <comment>Dictation status while the transcript is cleaned up</comment>
        <translation>整えています…</translation>
    </message>
    <message>
        <source>Pasting…</source>
        <comment>Dictation status while the text is pasted</comment>
        <translation>ペースト中…</translation>
    </message>
    <message>
        <source>Finish setup in Settings.</source>
        <comment>Dictation failure when the microphone, keys or model are not ready</comment>
        <translation>設定で準備を完了してください。</translation>
    </message>
    <message>
        <source>Couldn&apos;t record. Check your microphone.</source>
        <comment>Dictation failure when the microphone failed</comment>
        <translation>録音できませんでした。マイクを確認してください。</translation>
    </message>
    <message>
        <source>No audio was recorded. Check your microphone.</source>
        <comment>Dictation failure when no audio arrived</comment>
        <translation>音声が録音されませんでした。マイクを確認してください。</translation>
    </message>
    <message>
        <source>No speech was heard.</source>
        <comment>A dictation finished without any recognized text</comment>
        <translation>音声が聞き取れませんでした。</translation>
    </message>
    <message>
        <source>Couldn&apos;t transcribe. Try again.</source>
        <comment>Dictation failure when the speech engine failed</comment>
        <translation>文字起こしできませんでした。もう一度お試しください。</translation>
    </message>
    <message>
        <source>Couldn&apos;t paste. Copy the transcript below.</source>
        <comment>Dictation page failure when the text couldn&apos;t be pasted into the frontmost app</comment>
        <translation>ペーストできませんでした。下の文字起こしをコピーしてください。</translation>
    </message>
    <message>
        <source>Couldn&apos;t paste. The text is on the Dictation page.</source>
        <comment>Overlay after a hotkey dictation couldn&apos;t paste into the frontmost app</comment>
        <translation>ペーストできませんでした。テキストは音声入力ページにあります。</translation>
    </message>
    <message>
        <source>History can&apos;t be opened. Update Velmora to save dictations.</source>
        <comment>Note on the Dictation page when the history library was created by a newer app version.</comment>
        <translation>履歴を開けません。音声入力を保存するには Velmora をアップデートしてください。</translation>
    </message>
    <message>
        <source>History can&apos;t be opened because its data is damaged.</source>
        <comment>Note on the Dictation page when the history library file is corrupted.</comment>
        <translation>データが破損しているため、履歴を開けません。</translation>
    </message>
    <message>
        <source>History can&apos;t be opened. Free up disk space, then restart Velmora.</source>
        <comment>Note on the Dictation page when the history library can&apos;t open because the disk is full.</comment>
        <translation>履歴を開けません。ディスクの空き容量を増やしてから Velmora を再起動してください。</translation>
    </message>
    <message>
        <source>History can&apos;t be opened. Restart Velmora to try again.</source>
        <comment>Note on the Dictation page when the history library can&apos;t open for an unknown reason.</comment>
        <translation>履歴を開けません。Velmora を再起動してもう一度お試しください。</translation>
    </message>
    <message>
        <source>Couldn&apos;t save this dictation to History.</source>
        <comment>Note on the Dictation page when the text was pasted but saving it to history failed.</comment>
        <translation>この音声入力を履歴に保存できませんでした。</translation>
    </message>
    <message>
        <source>Voice Compose is recording.</source>
        <comment>Overlay when the dictation shortcut is pressed while Voice Compose records</comment>
        <translation>Voice Compose が録音中です。</translation>
    </message>
    <message>
        <source>Can&apos;t dictate while a password field is active.</source>
        <comment>Overlay when the dictation shortcut is pressed during secure typing</comment>
        <translation>パスワード入力欄が有効な間は音声入力できません。</translation>
    </message>
    <message>
        <source>Input level</source>
        <comment>Accessibility label of the waveform</comment>
        <translation>入力レベル</translation>
    </message>
    <message>
        <source>Right Ctrl</source>
        <comment>Key cap of the key that starts and stops dictation when tapped alone</comment>
        <translation>右Ctrl</translation>
    </message>
    <message>
        <source>Dictation Settings…</source>
        <comment>Dictation page overflow menu item</comment>
        <translation>音声入力の設定…</translation>
    </message>
    <message>
        <source>Dictation needs microphone and Accessibility access.</source>
        <comment>Banner on the Dictation page</comment>
        <translation>音声入力にはマイクとアクセシビリティへのアクセスが必要です。</translation>
    </message>
    <message>
        <source>Allow in Settings</source>
        <comment>Banner link to Settings &gt; Permissions</comment>
        <translation>設定で許可</translation>
    </message>
    <message>
        <source>Dictation needs the speech recognition model.</source>
        <comment>Banner on the Dictation page</comment>
        <translation>音声入力には音声認識モデルが必要です。</translation>
    </message>
    <message>
        <source>Download in Settings</source>
        <comment>Banner link to Settings &gt; Models</comment>
        <translation>設定でダウンロード</translation>
    </message>
    <message>
        <source>What it is</source>
        <comment>Dictation page section describing the tool</comment>
        <translation>概要</translation>
    </message>
    <message>
        <source>Dictation types what you say into the app you're using. It works anywhere you can type, like email, chat, and documents.</source>
        <comment>Dictation page: what the tool is</comment>
        <translation>音声入力は、話した内容を使用中のアプリに入力します。メール、チャット、文書など、文字を入力できる場所ならどこでも使えます。</translation>
    </message>
    <message>
        <source>How it works</source>
        <comment>Dictation page section explaining the shortcuts</comment>
        <translation>使い方</translation>
    </message>
    <message>
        <source>Change Shortcut…</source>
        <comment>Opens Settings &gt; Shortcuts</comment>
        <translation>ショートカットを変更…</translation>
    </message>
    <message>
        <source>Set Shortcut…</source>
        <comment>Opens Settings &gt; Shortcuts</comment>
        <translation>ショートカットを設定…</translation>
    </message>
    <message>
        <source>No shortcut</source>
        <comment>How it works: no start/stop shortcut is set</comment>
        <translation>ショートカットなし</translation>
    </message>
    <message>
        <source>Press to start. Press again to stop and paste the text.</source>
        <comment>How it works: what the start/stop shortcut does</comment>
        <translation>押すと開始します。もう一度押すと停止してテキストをペーストします。</translation>
    </message>
    <message>
        <source>Set a shortcut to start dictating.</source>
        <comment>How it works: shown when no start/stop shortcut is set</comment>
        <translation>音声入力を始めるにはショートカットを設定してください。</translation>
    </message>
    <message>
        <source>Press to cancel without pasting.</source>
        <comment>How it works: what the cancel shortcut does</comment>
        <translation>押すとペーストせずにキャンセルします。</translation>
    </message>
    <message>
        <source>If the text isn't pasted, click the Velmora icon in the menu bar and choose Copy Last Transcript.</source>
        <comment>How it works: recovering text that wasn't pasted, e.g. no text field was selected</comment>
        <translation>テキストがペーストされなかった場合は、メニューバーの Velmora アイコンをクリックし、「最後の文字起こしをコピー」を選んでください。</translation>
    </message>
    <message>
        <source>Transcript</source>
        <comment>History entry section with the dictation's text</comment>
        <translation>文字起こし</translation>
    </message>
    <message>
        <source>Part of the recording couldn't be transcribed.</source>
        <comment>History entry note above a partial transcript</comment>
        <translation>録音の一部を文字起こしできませんでした。</translation>
    </message>
    <message>
        <source>Transcription didn't finish.</source>
        <comment>History entry note above the transcript of a failed run</comment>
        <translation>文字起こしが完了しませんでした。</translation>
    </message>
    <message>
        <source>Transcription failed.</source>
        <comment>History entry note for a run without text</comment>
        <translation>文字起こしに失敗しました。</translation>
    </message>
    <message>
        <source>The recording was interrupted partway through.</source>
        <comment>History entry note above the transcript of an interrupted recording</comment>
        <translation>録音が途中で中断されました。</translation>
    </message>
    <message>
        <source>The recording was interrupted before any words were transcribed.</source>
        <comment>History entry note for an interrupted recording without text</comment>
        <translation>文字起こしされる前に録音が中断されました。</translation>
    </message>
    <message>
        <source>Pasted</source>
        <comment>History entry: the text was pasted where the user was typing</comment>
        <translation>ペースト済み</translation>
    </message>
    <message>
        <source>Couldn't paste</source>
        <comment>History entry: pasting the text failed</comment>
        <translation>ペーストできませんでした</translation>
    </message>
    <message>
        <source>Play</source>
        <comment>History entry: plays the recording</comment>
        <translation>再生</translation>
    </message>
    <message>
        <source>Stop</source>
        <comment>History entry: stops the recording</comment>
        <translation>停止</translation>
    </message>
</context>
</TS>
