#include "ui/gallery/gallery.h"

#include "ui/badge.h"
#include "ui/button.h"
#include "ui/copybutton.h"
#include "ui/environment.h"
#include "ui/hovertip.h"
#include "ui/namedcolors.h"
#include "ui/optionpills.h"
#include "ui/pagescaffold.h"
#include "ui/removablechips.h"
#include "ui/resulttextview.h"
#include "ui/searchfield.h"
#include "ui/styledlabel.h"
#include "ui/symbols.h"
#include "ui/toolicon.h"
#include "ui/toolpageheader.h"
#include "ui/typography.h"
#include "ui/workspacepane.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEnterEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QTranslator>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>
#include <iterator>
#include <memory>

namespace velmora::gallery {

namespace {

bool japanese = false;

// The gallery's sample texts, in English and Japanese; the kit's own texts come from its
// translations.
QString tr2(const char *english, const char *japaneseText) {
    return japanese ? QString::fromUtf8(japaneseText) : QString::fromUtf8(english);
}

void hover(QWidget *widget) {
    QEnterEvent enter(QPointF(3, 3), QPointF(3, 3), widget->mapToGlobal(QPointF(3, 3)));
    QApplication::sendEvent(widget, &enter);
}

QWidget *column(QWidget *parent, int spacing = 12) {
    auto *widget = new QWidget(parent);
    auto *layout = new QVBoxLayout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return widget;
}

QVBoxLayout *vbox(QWidget *widget) {
    return static_cast<QVBoxLayout *>(widget->layout());
}

QWidget *row(QWidget *parent, const QList<QWidget *> &items, int spacing = 12) {
    auto *widget = new QWidget(parent);
    auto *layout = new QHBoxLayout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    for (QWidget *item : items) {
        item->setParent(widget);
        layout->addWidget(item, 0, Qt::AlignVCenter);
    }
    layout->addStretch(1);
    return widget;
}

StyledLabel *caption(const QString &text) {
    auto *label = new StyledLabel(text, Typography::Caption);
    label->setKeepsIdealWidth(true);
    return label;
}

// A page body: a titled column with a background, used by every page but the scaffold ones.
struct Sheet {
    QWidget *root;
    QVBoxLayout *layout;
};

Sheet sheet(const QString &title, int width) {
    auto *root = new QWidget;
    root->setAutoFillBackground(true);
    root->setFixedWidth(width);
    auto *layout = new QVBoxLayout(root);
    layout->setContentsMargins(32, 28, 32, 32);
    layout->setSpacing(18);
    auto *heading = new StyledLabel(title, Typography::Title, root);
    layout->addWidget(heading);
    return {root, layout};
}

void section(Sheet &s, const QString &title, QWidget *content) {
    s.layout->addWidget(new SectionHeader(title, nullptr, s.root));
    content->setParent(s.root);
    s.layout->addWidget(content);
}

// A style's name set beside its sample so the two share the sample's first baseline.
class BaselineCaption : public QWidget {
public:
    BaselineCaption(StyledLabel *name, StyledLabel *sample) : m_name(name), m_sample(sample) {
        name->setParent(this);
        sample->installEventFilter(this);
    }
    QSize sizeHint() const override {
        const QSize name = m_name->sizeHint();
        return {name.width(), offset() + name.height()};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    bool eventFilter(QObject *, QEvent *event) override {
        // The sample's baseline moves with its size and text size.
        if (event->type() == QEvent::Resize || Environment::isChange(event)) {
            updateGeometry();
            place();
        }
        return false;
    }
    bool event(QEvent *event) override {
        if (Environment::isChange(event))
            updateGeometry();
        return QWidget::event(event);
    }
    void resizeEvent(QResizeEvent *) override { place(); }

private:
    int offset() const { return std::max(0, int(std::lround(m_sample->firstBaseline() - m_name->firstBaseline()))); }
    void place() { m_name->setGeometry(0, offset(), width(), m_name->sizeHint().height()); }

    StyledLabel *m_name;
    StyledLabel *m_sample;
};

QWidget *typographyPage() {
    Sheet s = sheet(tr2("Typography", "タイポグラフィ"), 900);
    auto *grid = new QWidget;
    auto *layout = new QGridLayout(grid);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setHorizontalSpacing(20);
    layout->setVerticalSpacing(10);
    int r = 0;
    for (Typography style : allTypographies()) {
        auto *sample = new StyledLabel(
            tr2("The quick brown fox jumps over the lazy dog 0123456789", "音声入力で書いた文章を整えます 0123456789"),
            style);
        sample->setWordWrap(true);
        sample->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        if (style == Typography::Badge)
            sample->setColor(ColorName::Attention);
        layout->addWidget(new BaselineCaption(caption(toString(style)), sample), r, 0, Qt::AlignTop);
        layout->addWidget(sample, r, 1, Qt::AlignTop);
        ++r;
    }
    auto *wrapped = new StyledLabel(tr2("Reading text wraps onto several lines with the line spacing of its style, so "
                                        "longer results stay comfortable to read. Each line keeps the same rhythm.",
                                        "読みやすさのため、長い文章はスタイルの行間で複数行に折り返されます。"
                                        "結果が長くなっても、行のリズムは変わりません。"),
                                    Typography::Reading);
    wrapped->setWordWrap(true);
    wrapped->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    layout->addWidget(new BaselineCaption(caption(QStringLiteral("reading, wrapped")), wrapped), r, 0, Qt::AlignTop);
    layout->addWidget(wrapped, r, 1, Qt::AlignTop);
    layout->setColumnStretch(1, 1);
    section(s, tr2("Fourteen styles", "14 のスタイル"), grid);
    return s.root;
}

// A named colour as it resolves in the swatch's own appearance, framed so light values show.
class ColourSwatch : public QWidget {
public:
    explicit ColourSwatch(const QString &name) : m_name(name) {
        setFixedSize(36, 36);
        setProperty("galleryColour", name);
    }

protected:
    void paintEvent(QPaintEvent *) override {
        const ColorScheme scheme = Environment::colorScheme(this);
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(NamedColors::color(ColorName::LineStrong, scheme), 1));
        painter.setBrush(NamedColors::color(m_name, scheme).value_or(Qt::transparent));
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 7.5, 7.5);
    }

private:
    QString m_name;
};

QWidget *colorsPage() {
    Sheet s = sheet(tr2("Named colours", "名前付きの色"), 900);
    auto *grid = new QWidget;
    auto *layout = new QGridLayout(grid);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    int i = 0;
    QStringList names;
    for (ColorName name : NamedColors::all())
        names << toString(name);
    for (int digit = 1; digit <= 9; ++digit)
        names << QStringLiteral("PinTint%1").arg(digit);
    for (const QString &name : names) {
        auto *swatch = new ColourSwatch(name);
        auto *cell = row(nullptr, {swatch, caption(name)}, 8);
        layout->addWidget(cell, i / 3, i % 3);
        ++i;
    }
    section(s, tr2("Light and dark values from one table", "ライトとダークの値は一つの表から"), grid);
    return s.root;
}

QWidget *symbolsPage() {
    Sheet s = sheet(tr2("Symbols", "シンボル"), 900);
    auto *grid = new QWidget;
    auto *layout = new QGridLayout(grid);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setHorizontalSpacing(16);
    layout->setVerticalSpacing(8);
    int i = 0;
    for (const QString &symbol : Symbols::names()) {
        auto *icon = new ToolIcon(symbol, ColorName::TextSecondary, ToolIcon::Size::Sidebar);
        layout->addWidget(row(nullptr, {icon, caption(symbol)}, 8), i / 3, i % 3);
        ++i;
    }
    section(s, tr2("The symbol table, tinted", "シンボル表(着色済み)"), grid);
    return s.root;
}

QWidget *buttonsPage() {
    Sheet s = sheet(tr2("Buttons", "ボタン"), 1000);
    auto states = [](std::function<Button *()> make) {
        QList<QWidget *> items;
        auto *resting = make();
        items << resting;
        auto *hovered = make();
        hovered->setProperty("galleryHover", true);
        items << hovered;
        auto *pressed = make();
        pressed->setDown(true);
        items << pressed;
        auto *disabled = make();
        disabled->setEnabled(false);
        items << disabled;
        return items;
    };
    const QString copy = tr2("Copy", "コピー");
    const QString translate = tr2("Translate", "翻訳");
    const QString add = tr2("Add", "追加");
    const QString swap = tr2("Swap", "入れ替え");
    // One grid for every style, so each state stands under its legend whatever the labels' widths.
    auto *grid = new QWidget(s.root);
    auto *layout = new QGridLayout(grid);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setHorizontalSpacing(16);
    layout->setVerticalSpacing(12);
    layout->setColumnStretch(4, 1);
    int r = 0;
    const QStringList legend{tr2("resting", "通常"), tr2("hovered", "ホバー"), tr2("pressed", "押下"),
                             tr2("disabled", "無効")};
    for (int c = 0; c < legend.size(); ++c)
        layout->addWidget(caption(legend[c]), r, c, Qt::AlignLeft | Qt::AlignBottom);
    ++r;
    auto heading = [&](const QString &title) {
        auto *header = new SectionHeader(title, nullptr, grid);
        layout->addWidget(header, r++, 0, 1, 5);
    };
    auto stateRow = [&](const QList<QWidget *> &items) {
        for (int c = 0; c < items.size(); ++c)
            layout->addWidget(items[c], r, c, Qt::AlignLeft | Qt::AlignVCenter);
        ++r;
    };
    auto wide = [&](QWidget *widget) { layout->addWidget(widget, r++, 0, 1, 5); };
    heading(QStringLiteral("PrimaryButtonStyle"));
    stateRow(states([&] {
        return new Button(translate, QString(), PrimaryButtonStyle{false, QStringLiteral("Ctrl+\u21A9")});
    }));
    wide(row(nullptr, {new Button(translate, QStringLiteral("character.bubble"), PrimaryButtonStyle{}),
                       new Button(tr2("Stop", "停止"), QStringLiteral("stop.fill"),
                                  PrimaryButtonStyle{true, QStringLiteral("Ctrl+\u21A9")}),
                       caption(tr2("with icon; running", "アイコン付き、実行中"))}));
    heading(QStringLiteral("SecondaryButtonStyle"));
    stateRow(
        states([&] { return new Button(swap, QStringLiteral("arrow.left.arrow.right"), SecondaryButtonStyle{}); }));
    wide(row(nullptr, {new Button(swap, QStringLiteral("arrow.left.arrow.right"), SecondaryButtonStyle{true}),
                       new Button(tr2("Open File", "ファイルを開く"), QString(), SecondaryButtonStyle{}),
                       caption(tr2("icon only; title only", "アイコンのみ、タイトルのみ"))}));
    heading(QStringLiteral("SmallButtonStyle"));
    stateRow(states([&] { return new Button(add, QString(), SmallButtonStyle{}); }));
    heading(QStringLiteral("PaneButtonStyle"));
    stateRow(states([&] { return new Button(copy, QStringLiteral("doc.on.doc"), PaneButtonStyle{}); }));
    stateRow(states([&] { return new Button(copy, QStringLiteral("doc.on.doc"), PaneButtonStyle{true}); }));
    heading(QStringLiteral("IconButtonStyle"));
    stateRow(states([&] { return new Button(copy, QStringLiteral("ellipsis"), IconButtonStyle{}); }));
    heading(QStringLiteral("TextButtonStyle"));
    stateRow(states([&] { return new Button(tr2("Open Settings", "設定を開く"), QString(), TextButtonStyle{}); }));
    heading(QStringLiteral("FillButtonStyle"));
    stateRow(states([&] {
        auto *button =
            new Button(QString(), QString(), FillButtonStyle{ColorName::SurfaceChip, 10, ColorName::LineStrong});
        auto *label = new QWidget;
        auto *labelLayout = new QVBoxLayout(label);
        labelLayout->setContentsMargins(12, 8, 12, 8);
        labelLayout->setSpacing(2);
        labelLayout->addWidget(new StyledLabel(tr2("Meeting notes", "会議メモ"), Typography::BodyEmphasis));
        labelLayout->addWidget(new StyledLabel(tr2("Yesterday", "昨日"), Typography::Meta));
        button->setLabelWidget(label);
        return button;
    }));
    s.layout->addWidget(grid);
    auto *titledCopy = new CopyButton(true);
    titledCopy->setCopyText(QStringLiteral("sample"));
    auto *copied = new CopyButton(true);
    copied->setCopyText(QStringLiteral("sample"));
    copied->setProperty("galleryCopy", true);
    auto *iconCopy = new CopyButton(false);
    iconCopy->setCopyText(QStringLiteral("sample"));
    auto *iconCopied = new CopyButton(false);
    iconCopied->setCopyText(QStringLiteral("sample"));
    iconCopied->setProperty("galleryCopy", true);
    auto *noText = new CopyButton(true);
    auto *iconNoText = new CopyButton(false);
    section(s, QStringLiteral("CopyButton"),
            row(nullptr, {titledCopy, copied, noText, iconCopy, iconCopied, iconNoText,
                          caption(tr2("ready, copied, no text", "通常、コピー済み、テキストなし"))}));
    return s.root;
}

QWidget *controlsPage() {
    Sheet s = sheet(tr2("Controls", "コントロール"), 1000);
    const QString placeholder = tr2("Search notes", "メモを検索");
    auto *empty = new SearchField(placeholder);
    auto *focused = new SearchField(placeholder, new Badge(3));
    focused->setText(tr2("meeting", "会議"));
    focused->setProperty("galleryFocus", true);
    empty->setFixedWidth(300);
    focused->setFixedWidth(300);
    section(s, QStringLiteral("SearchField"), row(nullptr, {empty, focused}, 24));

    const QVariantList tones{QStringLiteral("natural"), QStringLiteral("business"), QStringLiteral("casual")};
    auto toneTitle = [](const QVariant &tone) {
        if (tone == QStringLiteral("natural"))
            return tr2("Natural", "自然");
        if (tone == QStringLiteral("business"))
            return tr2("Business", "ビジネス");
        return tr2("Casual", "カジュアル");
    };
    auto *pills = new OptionPills(tones, QStringLiteral("business"), toneTitle);
    auto *pillsHover = new OptionPills(tones, QStringLiteral("natural"), toneTitle);
    pillsHover->pills().last()->setProperty("galleryHover", true);
    auto *narrow = new OptionPills(tones, QStringLiteral("business"), toneTitle);
    narrow->setProperty("galleryNarrow", true);
    section(
        s, QStringLiteral("OptionPills"),
        row(nullptr, {pills, pillsHover, narrow, caption(tr2("too narrow: a menu", "幅が足りないとメニュー"))}, 24));

    auto *menu = new OptionsMenu(tr2("English", "英語"));
    auto *menuHover = new OptionsMenu(tr2("Japanese", "日本語"));
    menuHover->setProperty("galleryHover", true);
    auto *menuDisabled = new OptionsMenu(tr2("Auto", "自動"));
    menuDisabled->setEnabled(false);
    auto *compressed = new QWidget;
    auto *compressedLayout = new QHBoxLayout(compressed);
    compressedLayout->setContentsMargins(0, 0, 0, 0);
    auto *squeezed = new OptionsMenu(tr2("Summary in English", "英語で要約"));
    compressedLayout->addWidget(squeezed);
    Environment::setCompressesHeaderOptions(compressed, true);
    compressed->setProperty("galleryCompressed", true);
    section(s, QStringLiteral("OptionsMenu, OptionsLabel"),
            row(nullptr, {new OptionsLabel(tr2("Language", "言語")), menu, menuHover, menuDisabled, compressed}, 16));

    auto *chips = new RemovableChips([](const QVariant &v) { return v.toString(); },
                                     [](const QVariant &v) { return tr2("Remove ", "削除: ") + v.toString(); });
    chips->setItems({tr2("Translate", "翻訳"), tr2("Summarize", "要約"), tr2("Dictation", "音声入力"),
                     tr2("Proofread", "校正"), tr2("Voice Compose", "音声作成"), tr2("This week", "今週"),
                     tr2("Notes", "メモ")});
    chips->setMaximumWidth(420);
    if (QWidget *x = chips->removeButton(tr2("Summarize", "要約")))
        x->setProperty("galleryHover", true);
    section(s, QStringLiteral("RemovableChips"), chips);

    auto *tipTarget = new Button(tr2("Remove", "削除"), QStringLiteral("xmark"), IconButtonStyle{});
    HoverTip::install(tipTarget,
                      tr2("Removes this word from your vocabulary. Dictation will no longer prefer "
                          "it when it hears something similar.",
                          "この語を語彙から削除します。似た音を聞いても、音声入力はこの語を優先しなくなります。"));
    tipTarget->setProperty("galleryTip", true);
    // The tip opens centred under its target: leave it room on the left and below.
    auto *inset = new QWidget;
    inset->setFixedWidth(HoverTip::kMaxTextWidth / 2 + HoverTip::kPadding);
    auto *tipCaption = caption(tr2("hover tip", "ホバーヒント"));
    auto *tipRow = row(nullptr, {inset, tipTarget, tipCaption});
    tipRow->setMinimumHeight(260);
    tipRow->layout()->setAlignment(tipTarget, Qt::AlignTop);
    tipRow->layout()->setAlignment(tipCaption, Qt::AlignTop);
    section(s, QStringLiteral("HoverTip"), tipRow);

    section(s, QStringLiteral("Badge, EmptyStateIcon, ToolIcon"),
            row(nullptr,
                {new Badge(0), new Badge(7), new Badge(1234), new Badge(-3),
                 new EmptyStateIcon(QStringLiteral("note.text")), new EmptyStateIcon(QStringLiteral("magnifyingglass")),
                 new ToolIcon(QStringLiteral("mic"), ColorName::Accent, ToolIcon::Size::Sidebar),
                 new ToolIcon(QStringLiteral("character.bubble"), ColorName::PinTint, ToolIcon::Size::Sidebar),
                 new ToolIcon(QStringLiteral("text.line.3.summary"), ColorName::Accent, ToolIcon::Size::Header)},
                16));
    return s.root;
}

QString resultSample() {
    return tr2("Here is a summary of the meeting:\n"
               "- The launch moves to the second week of March, after the final review.\n"
               "- Marketing prepares the announcement; design delivers the new screenshots by Friday.\n"
               "  - Screenshots in English and Japanese\n"
               "* Budget stays as planned.\n"
               "1. Numbered lines keep their numbers.\n"
               "-A hyphen with no space is not a list.\n"
               "Mixed direction: the word \u05E9\u05DC\u05D5\u05DD stays right to left.",
               "会議の要約です。\n"
               "・発売は最終レビューの後、3月第2週に移ります。\n"
               "・マーケティングが告知を準備し、デザインは金曜日までに新しいスクリーンショットを納品します。\n"
               "- 英語と日本語のスクリーンショット\n"
               "• 予算は計画どおりです。\n"
               "1. 番号付きの行は番号のままです。\n"
               "右から左の語 \u05E9\u05DC\u05D5\u05DD も正しく表示されます。");
}

QWidget *resultPage() {
    Sheet s = sheet(tr2("Result text view", "結果テキストビュー"), 1000);
    auto *streaming = new ResultTextView;
    streaming->setInset(QSizeF(16, 12));
    streaming->setBulletSpacing(4);
    const QString sample = resultSample();
    streaming->setResult(sample.left(sample.size() * 2 / 3), true);
    streaming->setFixedHeight(300);
    section(s, tr2("Streaming, with the typing cursor", "ストリーミング中(入力カーソル付き)"), streaming);
    auto *done = new ResultTextView;
    done->setInset(QSizeF(16, 12));
    done->setBulletSpacing(4);
    done->setCentered(true);
    done->setResult(sample, false);
    done->setFixedHeight(340);
    section(s, tr2("Finished, centred column", "完了(中央の段組み)"), done);
    return s.root;
}

QWidget *pane(const QString &title, QWidget *body, const QList<QWidget *> &controls) {
    auto *label = new StyledLabel(title, Typography::BodyEmphasis);
    return new WorkspacePane(label, body, controls);
}

QWidget *bodyText(const QString &text) {
    auto *label = new StyledLabel(text, Typography::Reading);
    label->setWordWrap(true);
    auto *box = new QWidget;
    auto *layout = new QVBoxLayout(box);
    layout->setContentsMargins(16, 12, 16, 12);
    layout->addWidget(label);
    layout->addStretch(1);
    return box;
}

QWidget *panesPage() {
    Sheet s = sheet(tr2("Workspace pane and setup banner", "ワークスペースペインとセットアップバナー"), 1000);
    const QString text = tr2("Thank you for the quick reply. I will send the revised schedule tomorrow morning.",
                             "早速のご返信ありがとうございます。修正したスケジュールは明日の朝にお送りします。");
    auto makeControls = [] {
        return QList<QWidget *>{
            new Button(tr2("Copy", "コピー"), QStringLiteral("doc.on.doc"), PaneButtonStyle{}),
            new Button(tr2("Send to", "送る"), QStringLiteral("arrowshape.turn.up.right"), PaneButtonStyle{})};
    };
    auto *live = static_cast<WorkspacePane *>(pane(tr2("Text", "テキスト"), bodyText(text), makeControls()));
    live->setLive(true);
    live->setLevel(0.62);
    live->setCount(tr2("84 characters", "84 文字"));
    live->setNotes({tr2("English", "英語"), tr2("Draft saved", "下書きを保存しました")});
    live->setFixedHeight(300);
    section(s, tr2("Live, with a level bar, count and notes", "ライブ、レベルバー、文字数、注記"), live);

    auto *iconOnly = static_cast<WorkspacePane *>(pane(tr2("Translation", "翻訳"), bodyText(text), makeControls()));
    iconOnly->setSwapEdge(Qt::LeftEdge);
    iconOnly->setCount(tr2("84 characters", "84 文字"));
    auto *compact = new WorkspacePane(
        new StyledLabel(tr2("Summary", "要約"), Typography::BodyEmphasis), bodyText(text),
        {new OptionsMenu(tr2("Key points", "要点")),
         new Button(tr2("Summarize", "要約"), QString(), PrimaryButtonStyle{false, QStringLiteral("Ctrl+\u21A9")})});
    auto *narrowRow = new QWidget;
    auto *narrowLayout = new QHBoxLayout(narrowRow);
    narrowLayout->setContentsMargins(0, 0, 0, 0);
    narrowLayout->setSpacing(16);
    iconOnly->setFixedSize(300, 306);
    compact->setFixedSize(280, 306);
    narrowLayout->addWidget(iconOnly);
    narrowLayout->addWidget(compact);
    narrowLayout->addStretch(1);
    section(s, tr2("Narrow: icon-only buttons; compact header", "狭い幅: アイコンのみ、コンパクトなヘッダー"),
            narrowRow);

    auto *banner = new SetupBanner(tr2("Download the speech model to start dictating.",
                                       "音声入力を始めるには音声モデルをダウンロードしてください。"),
                                   tr2("Open Models", "モデルを開く"));
    auto *longBanner = new SetupBanner(
        tr2("Velmora needs permission to use the microphone. Allow access in the desktop's privacy settings, then "
            "come back here to start dictating.",
            "Velmora "
            "はマイクを使う許可が必要です。デスクトップのプライバシー設定でアクセスを許可してから、ここに戻って音声入力"
            "を始めてください。"),
        tr2("Allow Access…", "アクセスを許可…"));
    auto *banners = column(nullptr, 10);
    vbox(banners)->addWidget(banner);
    vbox(banners)->addWidget(longBanner);
    section(s, QStringLiteral("SetupBanner"), banners);
    return s.root;
}

QWidget *pageScaffoldPage() {
    auto *header = new ToolPageHeader(
        QStringLiteral("character.bubble"), [] { return tr2("Translate", "翻訳"); },
        tr2("Translate between Japanese and English.", "日本語と英語の間で翻訳します。"));
    header->moreMenu()->addAction(tr2("Pin", "ピン留め"));
    auto *work = new QWidget;
    auto *workLayout = new QVBoxLayout(work);
    workLayout->setContentsMargins(0, 0, 0, 0);
    workLayout->setSpacing(16);
    const QVariantList tones{1, 2, 3};
    auto *options = new OptionPills(tones, 1, [](const QVariant &v) {
        switch (v.toInt()) {
        case 1: return tr2("Natural", "自然");
        case 2: return tr2("Business", "ビジネス");
        default: return tr2("Casual", "カジュアル");
        }
    });
    auto *toolbar = new QWidget;
    auto *toolbarLayout = new QHBoxLayout(toolbar);
    toolbarLayout->setContentsMargins(0, 0, 0, 0);
    toolbarLayout->setSpacing(12);
    toolbarLayout->addWidget(new OptionsLabel(tr2("Tone", "トーン")));
    toolbarLayout->addWidget(options);
    toolbarLayout->addStretch(1);
    toolbarLayout->addWidget(
        new Button(tr2("Translate", "翻訳"), QString(), PrimaryButtonStyle{false, QStringLiteral("Ctrl+\u21A9")}));
    workLayout->addWidget(toolbar);
    auto *panes = new QWidget;
    auto *panesLayout = new QHBoxLayout(panes);
    panesLayout->setContentsMargins(0, 0, 0, 0);
    panesLayout->setSpacing(12);
    auto *input = static_cast<WorkspacePane *>(pane(
        tr2("Japanese", "日本語"),
        bodyText(QString::fromUtf8("早速のご返信ありがとうございます。修正したスケジュールは明日の朝にお送りします。")),
        {new Button(tr2("Paste", "貼り付け"), QStringLiteral("doc.on.doc"), PaneButtonStyle{})}));
    input->setCount(tr2("38 characters", "38 文字"));
    auto *result = new ResultTextView;
    result->setInset(QSizeF(16, 12));
    result->setResult(
        QStringLiteral("Thank you for your quick reply. I will send the revised schedule tomorrow morning."), false);
    auto *copy = new CopyButton(true);
    copy->setButtonStyle(PaneButtonStyle{});
    copy->setCopyText(QStringLiteral("x"));
    auto *output = new WorkspacePane(new StyledLabel(tr2("English", "英語"), Typography::BodyEmphasis), result, {copy});
    output->setCount(tr2("16 words", "16 語"));
    input->setLive(true);
    for (QWidget *paneWidget : {static_cast<QWidget *>(input), static_cast<QWidget *>(output)}) {
        paneWidget->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Expanding);
        panesLayout->addWidget(paneWidget, 1);
    }
    workLayout->addWidget(panes, 1);
    auto *recent = column(nullptr, 8);
    vbox(recent)->addWidget(new SectionHeader(tr2("Recent", "最近"),
                                              new Button(tr2("Show All", "すべて表示"), QString(), TextButtonStyle{})));
    for (const char *entry : {"Thank you for your quick reply…", "The meeting moves to Thursday…"})
        vbox(recent)->addWidget(new StyledLabel(QString::fromUtf8(entry), Typography::Body));
    auto *page = new ToolPageScaffold(header, work, recent);
    page->setFixedSize(1100, 760);
    return page;
}

struct PageBuilder {
    const char *name;
    QWidget *(*build)();
};

// The pages in the order they are listed.
constexpr PageBuilder kPages[] = {
    {"typography", typographyPage}, {"colors", colorsPage}, {"symbols", symbolsPage}, {"buttons", buttonsPage},
    {"controls", controlsPage},     {"result", resultPage}, {"panes", panesPage},     {"page", pageScaffoldPage},
};

QWidget *build(const QString &name) {
    const auto *builder = std::find_if(std::begin(kPages), std::end(kPages),
                                       [&](const PageBuilder &page) { return name == QLatin1String(page.name); });
    if (builder == std::end(kPages))
        return nullptr;
    QWidget *page = builder->build();
    // Sheets end in a stretch: height a layout has left over goes below the last section.
    if (page && !qobject_cast<QAbstractScrollArea *>(page)) {
        if (auto *layout = qobject_cast<QVBoxLayout *>(page->layout()))
            layout->addStretch(1);
    }
    return page;
}

std::unique_ptr<QTranslator> &translator() {
    static std::unique_ptr<QTranslator> current;
    return current;
}

bool waitFor(const std::function<bool()> &done, int ms) {
    QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

} // namespace

QString Variant::fileSuffix() const {
    return QStringLiteral("%1-%2-%3").arg(toString(size), toString(scheme), language);
}

QList<Variant> allVariants() {
    QList<Variant> variants;
    for (const QString &language : {QStringLiteral("en"), QStringLiteral("ja")})
        for (ColorScheme scheme : {ColorScheme::Light, ColorScheme::Dark})
            for (TextSize size : allTextSizes())
                variants.append(Variant{size, scheme, language});
    return variants;
}

QStringList pageNames() {
    QStringList names;
    for (const PageBuilder &page : kPages)
        names.append(QString::fromLatin1(page.name));
    return names;
}

void setLanguage(const QString &language) {
    if (translator()) {
        QCoreApplication::removeTranslator(translator().get());
        translator().reset();
    }
    japanese = language == QLatin1String("ja");
    if (japanese) {
        auto next = std::make_unique<QTranslator>();
        if (next->load(QStringLiteral(":/translations/ui_ja.qm"))) {
            QCoreApplication::installTranslator(next.get());
            translator() = std::move(next);
        }
    }
}

QWidget *makePage(const QString &name, const Variant &variant) {
    setLanguage(variant.language);
    QWidget *page = build(name);
    if (!page)
        return nullptr;
    Environment::applyAppearance(page, variant.scheme);
    Environment::setTextSize(page, variant.size);
    // Widths that show a fallback form depend on the text size.
    for (QWidget *widget : page->findChildren<QWidget *>()) {
        if (widget->property("galleryNarrow").toBool()) {
            auto *pills = static_cast<OptionPills *>(widget);
            widget->setFixedWidth(pills->fallbackMenu()->sizeHint().width() + 12);
        }
        if (widget->property("galleryCompressed").toBool()) {
            const QWidget *menu = widget->findChild<OptionsMenu *>();
            widget->setFixedWidth(menu->sizeHint().width() * 2 / 3);
        }
    }
    return page;
}

QImage render(const QString &name, const Variant &variant) {
    QWidget *page = makePage(name, variant);
    if (!page)
        return {};
    std::unique_ptr<QWidget> owner(page);
    page->setAttribute(Qt::WA_DontShowOnScreen, false);
    page->adjustSize();
    if (page->hasHeightForWidth())
        page->resize(page->width(), std::max(page->height(), page->heightForWidth(page->width())));
    page->show();
    QApplication::setActiveWindow(page);
    QApplication::processEvents();

    QList<QPointer<QWidget>> hovered, tips;
    for (QWidget *widget : page->findChildren<QWidget *>()) {
        if (widget->property("galleryHover").toBool())
            hovered << widget;
        if (widget->property("galleryTip").toBool())
            tips << widget;
        if (widget->property("galleryFocus").toBool())
            static_cast<SearchField *>(widget)->setFocused(true);
    }
    for (QWidget *widget : std::as_const(hovered))
        hover(widget);
    for (QWidget *widget : std::as_const(tips))
        hover(widget);
    // Hover looks fade in over 0.12 s and tips open after 0.3 s: wait for both.
    waitFor(
        [&] {
            for (const QPointer<QWidget> &widget : std::as_const(tips)) {
                const HoverTip *tip = HoverTip::of(widget);
                if (widget && tip && !tip->isShown())
                    return false;
            }
            for (const QPointer<QWidget> &widget : std::as_const(hovered)) {
                if (auto *button = qobject_cast<Button *>(widget.data()); button && button->hoverProgress() < 1.0)
                    return false;
                if (auto *pill = qobject_cast<OptionPill *>(widget.data()); pill && pill->hoverProgress() < 1.0)
                    return false;
                if (auto *menu = qobject_cast<OptionsMenu *>(widget.data()); menu && menu->hoverProgress() < 1.0)
                    return false;
            }
            return true;
        },
        2000);
    // "Copied" lasts a second: press the copy buttons just before the picture is taken.
    for (CopyButton *button : page->findChildren<CopyButton *>()) {
        if (button->property("galleryCopy").toBool())
            button->copy();
    }
    QApplication::processEvents();

    // Pictures end 32 px below the last thing on the page.
    int bottom = 0;
    for (QWidget *child : page->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (child->isVisible())
            bottom = std::max(bottom, child->geometry().bottom() + 1);
    }
    const QSize size(page->width(), qobject_cast<QAbstractScrollArea *>(page) ? page->height()
                                                                              : std::min(page->height(), bottom + 32));
    const qreal dpr = 1.0;
    QImage image(size * dpr, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(dpr);
    image.fill(Environment::color(page, ColorName::SurfaceContent));
    page->render(&image);
    QPainter painter(&image);
    for (const QPointer<QWidget> &widget : std::as_const(tips)) {
        const HoverTip *tip = widget ? HoverTip::of(widget) : nullptr;
        if (!tip || !tip->tipWindow())
            continue;
        QWidget *window = tip->tipWindow();
        const QPoint at = page->mapFromGlobal(window->mapToGlobal(QPoint(0, 0)));
        window->render(&painter, at, QRegion(), QWidget::DrawChildren);
    }
    painter.end();
    setLanguage(QStringLiteral("en"));
    return image;
}

QStringList saveAll(const QString &folder, const QStringList &pages, const QList<Variant> &variants) {
    QDir().mkpath(folder);
    QStringList written;
    for (const QString &name : pages) {
        for (const Variant &variant : variants) {
            const QImage image = render(name, variant);
            const QString path = QDir(folder).filePath(QStringLiteral("%1-%2.png").arg(name, variant.fileSuffix()));
            if (!image.isNull() && image.save(path))
                written << path;
        }
    }
    return written;
}

} // namespace velmora::gallery
