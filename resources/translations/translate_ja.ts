<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>Translate</name>
    <message>
        <source>Stop</source>
        <comment>Button that stops a running translation</comment>
        <translation>停止</translation>
    </message>
    <message>
        <source>Translate</source>
        <comment>Button that starts a translation</comment>
        <translation>翻訳</translation>
    </message>
    <message>
        <source>Detect language</source>
        <comment>Source language menu item and label</comment>
        <translation>言語を自動検出</translation>
    </message>
    <message numerus="yes">
        <source>%n characters</source>
        <comment>Character count of the source</comment>
        <translation>
            <numerusform>%n 文字</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 / %2 characters</source>
        <comment>Source character count near or over the limit; Translate is disabled over it</comment>
        <translation>%1 / %2 文字</translation>
    </message>
    <message>
        <source>%1 (detected)</source>
        <comment>Source language menu label: the language detected from the text</comment>
        <translation>%1（検出）</translation>
    </message>
    <message>
        <source>Translating…</source>
        <comment>Result pane note while translating</comment>
        <translation>翻訳中…</translation>
    </message>
    <message numerus="yes">
        <source>%n words</source>
        <comment>Result pane word count</comment>
        <translation>
            <numerusform>%n 語</numerusform>
        </translation>
    </message>
    <message>
        <source>The translation didn't finish. Try again.</source>
        <comment>Result pane after a translation failed with no text</comment>
        <translation>翻訳を完了できませんでした。もう一度お試しください。</translation>
    </message>
    <message>
        <source>The translation appears here.</source>
        <comment>Empty result pane</comment>
        <translation>翻訳結果がここに表示されます。</translation>
    </message>
    <message>
        <source>Edited</source>
        <comment>Result pane note after the user edits the translation</comment>
        <translation>編集済み</translation>
    </message>
    <message>
        <source>Translation</source>
        <comment>History entry section with the translated text</comment>
        <translation>翻訳</translation>
    </message>
    <message>
        <source>Original</source>
        <comment>History entry section with the text that was translated</comment>
        <translation>原文</translation>
    </message>
    <message>
        <source>Translation failed.</source>
        <comment>History entry note for a run without text</comment>
        <translation>翻訳に失敗しました。</translation>
    </message>
    <message>
        <source>The translation stopped partway through.</source>
        <comment>History entry note above an incomplete translation</comment>
        <translation>翻訳は途中で止まりました。</translation>
    </message>
    <message>
        <source>Paste or type Japanese or English text.</source>
        <comment>Empty source pane</comment>
        <translation>日本語または英語のテキストを貼り付けるか入力してください。</translation>
    </message>
    <message>
        <source>Source language</source>
        <comment>VoiceOver label</comment>
        <translation>翻訳元の言語</translation>
    </message>
    <message>
        <source>Translation language</source>
        <comment>VoiceOver label</comment>
        <translation>翻訳先の言語</translation>
    </message>
    <message>
        <source>Tone</source>
        <comment>Label before the tone pills on the Translate page</comment>
        <translation>トーン</translation>
    </message>
    <message>
        <source>Clear</source>
        <comment>Clears the source pane</comment>
        <translation>消去</translation>
    </message>
    <message>
        <source>Swap languages</source>
        <comment>Button between the panes</comment>
        <translation>言語を入れ替える</translation>
    </message>
    <message>
        <source>History can't be opened, so translations aren't saved.</source>
        <comment>Note on the Translate page when the library can't open</comment>
        <translation>履歴を開けないため、翻訳は保存されません。</translation>
    </message>
    <message>
        <source>Couldn't save your text. Keep Velmora open so it isn't lost.</source>
        <comment>Note on the Translate page when saving its text failed</comment>
        <translation>テキストを保存できませんでした。失われないよう、Velmora を開いたままにしてください。</translation>
    </message>
    <message>
        <source>Couldn't save this translation to History.</source>
        <comment>Note on the Translate page when saving to History failed</comment>
        <translation>この翻訳を履歴に保存できませんでした。</translation>
    </message>
    <message>
        <source>Natural</source>
        <comment>Translation tone pill: keeps the original text's tone</comment>
        <translation>自然</translation>
    </message>
    <message>
        <source>Business</source>
        <comment>Translation tone pill</comment>
        <translation>ビジネス</translation>
    </message>
    <message>
        <source>Casual</source>
        <comment>Translation tone pill</comment>
        <translation>カジュアル</translation>
    </message>
    <message>
        <source>Natural tone</source>
        <comment>Result pane note: the tone used</comment>
        <translation>自然なトーン</translation>
    </message>
    <message>
        <source>Business tone</source>
        <comment>Result pane note: the tone used</comment>
        <translation>ビジネストーン</translation>
    </message>
    <message>
        <source>Casual tone</source>
        <comment>Result pane note: the tone used</comment>
        <translation>カジュアルなトーン</translation>
    </message>
    <message>
        <source>Translate needs the writing model.</source>
        <comment>Banner on the Translate page</comment>
        <translation>翻訳には文章作成モデルが必要です。</translation>
    </message>
    <message>
        <source>Download in Settings</source>
        <comment>Banner link to Settings &gt; Models</comment>
        <translation>設定でダウンロード</translation>
    </message>
</context>
</TS>
