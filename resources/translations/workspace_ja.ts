<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>Localizable</name>
    <message>
        <source>Settings</source>
        <translation>設定</translation>
    </message>
</context>
<context>
    <name>Notes</name>
    <message>
        <source>Notes</source>
        <comment>Sidebar item and page title</comment>
        <translation>メモ</translation>
    </message>
    <message>
        <source>Hide Note List</source>
        <comment>Menu item and button: hide the note list</comment>
        <translation>メモ一覧を隠す</translation>
    </message>
    <message>
        <source>Show Note List</source>
        <comment>Menu item and button: show the note list</comment>
        <translation>メモ一覧を表示</translation>
    </message>
</context>
<context>
    <name>SendTo</name>
    <message>
        <source>Save as File…</source>
        <comment>Send to menu item: saves the text as a .txt file</comment>
        <translation>ファイルとして保存…</translation>
    </message>
    <message>
        <source>Copy</source>
        <comment>Right-click menu item on a row or card: copies its text</comment>
        <translation>コピー</translation>
    </message>
    <message>
        <source>Delete…</source>
        <comment>Right-click menu item on a row or card; asks first</comment>
        <translation>削除…</translation>
    </message>
    <message>
        <source>New Note</source>
        <comment>Send to menu item: saves the text as a new note and opens it</comment>
        <translation>新規メモ</translation>
    </message>
    <message>
        <source>New Note with Original Text</source>
        <comment>Send to menu item: a new note with the original text, then the result</comment>
        <translation>原文付きの新規メモ</translation>
    </message>
    <message>
        <source>Share…</source>
        <comment>Send to menu item: a menu to copy the text or send it by email</comment>
        <translation>共有…</translation>
    </message>
    <message>
        <source>Send to</source>
        <comment>Menu button that sends text to a new note, another tool, a file or Share</comment>
        <translation>送る</translation>
    </message>
    <message>
        <source>You don&apos;t have permission to save files in this folder.</source>
        <comment>Detail of a failed Save as File: no write access to the folder</comment>
        <translation>このフォルダにファイルを保存する権限がありません。</translation>
    </message>
    <message>
        <source>There isn&apos;t enough space on the disk.</source>
        <comment>Detail of a failed Save as File: the disk is full</comment>
        <translation>ディスクの空き容量が足りません。</translation>
    </message>
    <message>
        <source>The disk is read-only.</source>
        <comment>Detail of a failed Save as File: the disk cannot be written</comment>
        <translation>ディスクは読み出し専用です。</translation>
    </message>
    <message>
        <source>“%1” couldn&apos;t be saved.</source>
        <comment>Message after a failed Save as File; the file name</comment>
        <translation>“%1”を保存できませんでした。</translation>
    </message>
    <message>
        <source>Copy</source>
        <comment>Share menu item: copies the text</comment>
        <translation>コピー</translation>
    </message>
    <message>
        <source>Email</source>
        <comment>Share menu item: opens a new message with the text in the mail program</comment>
        <translation>メール</translation>
    </message>
    <message>
        <source>Email (Text Too Long)</source>
        <comment>Disabled share menu item: the text is too long for a new message</comment>
        <translation>メール(テキストが長すぎます)</translation>
    </message>
    <message>
        <source>No mail program could be opened.</source>
        <comment>Message when Email in the share menu finds no mail program</comment>
        <translation>メールアプリを開けませんでした。</translation>
    </message>
    <message>
        <source>Copy the text and paste it into a message instead.</source>
        <comment>Detail when no mail program could be opened</comment>
        <translation>テキストをコピーして、メッセージに貼り付けてください。</translation>
    </message>
    <message>
        <source>Untitled</source>
        <comment>File name proposed for a text that has no name</comment>
        <translation>名称未設定</translation>
    </message>
</context>
<context>
    <name>Workspace</name>
    <message>
        <source>Today</source>
        <comment>History date section</comment>
        <translation>今日</translation>
    </message>
    <message>
        <source>Yesterday</source>
        <comment>History date section</comment>
        <translation>昨日</translation>
    </message>
    <message>
        <source>Previous 7 Days</source>
        <comment>History date section</comment>
        <translation>過去7日間</translation>
    </message>
    <message>
        <source>Back</source>
        <comment>Go menu item and title bar button: previous page or item</comment>
        <translation>戻る</translation>
    </message>
    <message>
        <source>Forward</source>
        <comment>Go menu item and title bar button: next page or item</comment>
        <translation>進む</translation>
    </message>
    <message>
        <source>&amp;Go</source>
        <comment>Menu title: Back and Forward</comment>
        <translation>移動(&amp;G)</translation>
    </message>
    <message>
        <source>Previous Sidebar Item</source>
        <comment>Go menu: open the sidebar row above the current one</comment>
        <translation>前のサイドバー項目</translation>
    </message>
    <message>
        <source>Next Sidebar Item</source>
        <comment>Go menu: open the sidebar row below the current one</comment>
        <translation>次のサイドバー項目</translation>
    </message>
    <message>
        <source>Unpin</source>
        <comment>Context menu: remove tool from Pinned</comment>
        <translation>ピン留めを外す</translation>
    </message>
    <message>
        <source>Pin</source>
        <comment>Context menu: add tool to Pinned</comment>
        <translation>ピン留め</translation>
    </message>
    <message>
        <source>Pin (Unpin a Tool First)</source>
        <comment>Disabled context menu item: Pinned already holds the maximum of 9 tools</comment>
        <translation>ピン留め(先にほかのツールを外してください)</translation>
    </message>
    <message>
        <source>Move Up</source>
        <comment>Context menu: move a pinned tool one place up</comment>
        <translation>上へ移動</translation>
    </message>
    <message>
        <source>Move Down</source>
        <comment>Context menu: move a pinned tool one place down</comment>
        <translation>下へ移動</translation>
    </message>
    <message>
        <source>Pinned</source>
        <comment>Sidebar group of tools the user pinned</comment>
        <translation>ピン留め</translation>
    </message>
    <message>
        <source>Audio</source>
        <comment>Tool group</comment>
        <translation>音声</translation>
    </message>
    <message>
        <source>Meetings</source>
        <comment>Tool group</comment>
        <translation>会議</translation>
    </message>
    <message>
        <source>Documents</source>
        <comment>Tool group</comment>
        <translation>文書</translation>
    </message>
    <message>
        <source>Writing</source>
        <comment>Tool group</comment>
        <translation>文章</translation>
    </message>
    <message>
        <source>Home</source>
        <comment>Sidebar item and page title</comment>
        <translation>ホーム</translation>
    </message>
    <message>
        <source>History</source>
        <comment>Sidebar item and page title</comment>
        <translation>履歴</translation>
    </message>
    <message>
        <source>Dictation</source>
        <comment>Tool name</comment>
        <translation>音声入力</translation>
    </message>
    <message>
        <source>Type with your voice in any app.</source>
        <comment>Tool description</comment>
        <translation>どのアプリでも、声で入力できます。</translation>
    </message>
    <message>
        <source>Voice Compose</source>
        <comment>Tool name</comment>
        <translation>ボイス作文</translation>
    </message>
    <message>
        <source>Speak and get an email, bullet points, or clean text.</source>
        <comment>Tool description</comment>
        <translation>話すだけで、メールや箇条書き、整った文章になります。</translation>
    </message>
    <message>
        <source>Transcribe File</source>
        <comment>Tool name: turns the speech in an audio or video file into text</comment>
        <translation>ファイル文字起こし</translation>
    </message>
    <message>
        <source>Transcribe audio and video files.</source>
        <comment>Tool description</comment>
        <translation>音声ファイルや動画ファイルを文字に起こします。</translation>
    </message>
    <message>
        <source>Record Meeting</source>
        <comment>Tool name</comment>
        <translation>会議の録音</translation>
    </message>
    <message>
        <source>Record and transcribe meetings.</source>
        <comment>Tool description</comment>
        <translation>会議を録音して文字に起こします。</translation>
    </message>
    <message>
        <source>Meeting Minutes</source>
        <comment>Tool name</comment>
        <translation>議事録</translation>
    </message>
    <message>
        <source>Bilingual minutes from a meeting transcript.</source>
        <comment>Tool description</comment>
        <translation>会議の書き起こしから日英の議事録を作ります。</translation>
    </message>
    <message>
        <source>Action Items</source>
        <comment>Tool name: the tasks and their owners agreed in a meeting</comment>
        <translation>アクションアイテム</translation>
    </message>
    <message>
        <source>Action items and owners from a meeting.</source>
        <comment>Tool description</comment>
        <translation>会議からタスクと担当者を洗い出します。</translation>
    </message>
    <message>
        <source>Translate</source>
        <comment>Tool name</comment>
        <translation>翻訳</translation>
    </message>
    <message>
        <source>Translate between Japanese and English.</source>
        <comment>Tool description</comment>
        <translation>日本語と英語を相互に翻訳します。</translation>
    </message>
    <message>
        <source>Summarize</source>
        <comment>Tool name</comment>
        <translation>要約</translation>
    </message>
    <message>
        <source>Key points from any text.</source>
        <comment>Tool description</comment>
        <translation>どんな文章からも要点をまとめます。</translation>
    </message>
    <message>
        <source>Redact</source>
        <comment>Tool name: hides personal and sensitive data in a text</comment>
        <translation>墨消し</translation>
    </message>
    <message>
        <source>Hide personal and sensitive data.</source>
        <comment>Tool description</comment>
        <translation>個人情報や機密情報を隠します。</translation>
    </message>
    <message>
        <source>OCR</source>
        <comment>Tool name: text recognition from images</comment>
        <translation>OCR</translation>
    </message>
    <message>
        <source>Text from images and scanned PDFs.</source>
        <comment>Tool description</comment>
        <translation>画像やスキャンしたPDFから文字を読み取ります。</translation>
    </message>
    <message>
        <source>Proofread</source>
        <comment>Tool name: fixes typos and grammar in a text</comment>
        <translation>校正</translation>
    </message>
    <message>
        <source>Fix typos and grammar in English or Japanese.</source>
        <comment>Tool description</comment>
        <translation>英語や日本語の誤字や文法の誤りを直します。</translation>
    </message>
    <message>
        <source>Humanize</source>
        <comment>Tool name: rewrites machine-written text so it sounds natural</comment>
        <translation>自然な文章に</translation>
    </message>
    <message>
        <source>Make AI-written text sound natural.</source>
        <comment>Tool description</comment>
        <translation>AIが書いた文章を自然な言い回しにします。</translation>
    </message>
    <message>
        <source>Collapsed</source>
        <comment>VoiceOver state of a sidebar group</comment>
        <translation>折りたたみ</translation>
    </message>
    <message>
        <source>Expanded</source>
        <comment>VoiceOver state of a sidebar group</comment>
        <translation>展開</translation>
    </message>
    <message>
        <source>Hide Sidebar</source>
        <comment>Menu item and button: hide the sidebar</comment>
        <translation>サイドバーを隠す</translation>
    </message>
    <message>
        <source>Show Sidebar</source>
        <comment>Menu item and button: show the sidebar</comment>
        <translation>サイドバーを表示</translation>
    </message>
    <message>
        <source>This tool is coming in a future update.</source>
        <comment>Message on the page of a tool that is not built yet</comment>
        <translation>このツールは今後のアップデートで追加されます。</translation>
    </message>
    <message>
        <source>Recent</source>
        <comment>Tool page section with the tool&apos;s latest History entries</comment>
        <translation>最近の項目</translation>
    </message>
    <message>
        <source>See all</source>
        <comment>Opens Notes or History from a Home shelf</comment>
        <translation>すべて表示</translation>
    </message>
    <message>
        <source>1 item needs attention</source>
        <comment>VoiceOver value for the Settings badge with a count of one</comment>
        <translation>1件の項目に対応が必要です</translation>
    </message>
    <message>
        <source>%1 items need attention</source>
        <comment>VoiceOver value for the Settings badge; placeholder is the count</comment>
        <translation>%1件の項目に対応が必要です</translation>
    </message>
    <message>
        <source>Hide History List</source>
        <comment>Menu item and button: hide the History list</comment>
        <translation>履歴一覧を隠す</translation>
    </message>
    <message>
        <source>Show History List</source>
        <comment>Menu item and button: show the History list</comment>
        <translation>履歴一覧を表示</translation>
    </message>
    <message numerus="yes">
        <source>%n words</source>
        <comment>Count of an entry's words</comment>
        <translation>
            <numerusform>%n 語</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n characters</source>
        <comment>Count of an entry's characters</comment>
        <translation>
            <numerusform>%n 文字</numerusform>
        </translation>
    </message>
</context>
</TS>
