#include "ui/pages/AgentPage.hpp"
#include "ui/controls/PageScroll.hpp"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QScrollArea>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "agent/AgentCommands.hpp"
#include "agent/AgentSetup.hpp"
#include "agent/AgentTools.hpp"
#include "agent/ClaudeRunner.hpp"
#include "demo/Demo.hpp"
#include "model/AppModel.hpp"
#include "service/MCPServer.hpp"
#include "text/Localization.hpp"
#include "ui/access/Accessibility.hpp"
#include "ui/agent/AgentStep.hpp"
#include "ui/agent/FlowExamples.hpp"
#include "ui/agent/MarkdownView.hpp"
#include "ui/controls/Card.hpp"
#include "ui/controls/CodeLine.hpp"
#include "ui/controls/FocusChain.hpp"
#include "ui/controls/MonoButton.hpp"
#include "ui/controls/MonoSurface.hpp"
#include "ui/controls/SectionTitle.hpp"
#include "ui/controls/Shapes.hpp"
#include "ui/controls/Spinner.hpp"
#include "ui/controls/Tags.hpp"
#include "ui/controls/TextLabel.hpp"
#include "ui/shell/PageRegistry.hpp"
#include "ui/theme/QtTheme.hpp"
#include "ui/theme/Typography.hpp"

namespace {
constexpr int blockSpacing = 22;
constexpr int nameColumn = 200;

QString q(const std::string& text) { return QString::fromStdString(text); }
QString localized(const char* key) { return q(L(key)); }

/// The ask field's surroundings: a dark capsule with a faint paper outline.
class QuestionFrame : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        Shapes::fillCapsule(painter, QRectF(rect()), QColor::fromRgbF(0, 0, 0, 0.45f), qColor(Theme::paper.rgb, 0.42));
    }
};

QVBoxLayout* column(QWidget* owner, int spacing) {
    auto* layout = new QVBoxLayout(owner);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

QHBoxLayout* row(QWidget* owner, int spacing) {
    auto* layout = new QHBoxLayout(owner);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

/// A block of the page: its section title over its card, 10 apart.
QWidget* section(const QString& title, const QString& subtitle, QWidget* card) {
    auto* block = new QWidget;
    QVBoxLayout* layout = column(block, 10);
    layout->addWidget(new SectionTitle(title, subtitle));
    layout->addWidget(card);
    return block;
}

QLabel* captionLabel(const char* key) {
    QLabel* label = textLabel(localized(key), Typography::font(TextStyle::caption), Foreground::secondary());
    label->setWordWrap(true);
    return label;
}

/// Whether `text` holds something besides spaces and tabs.
bool hasContent(const QString& text) {
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c != u' ' && c != u'\t'; });
}

MonoTag* toolTag(ToolAccess access) {
    switch (access) {
    case ToolAccess::readOnly: return new MonoTag(localized("只读"), MonoTag::Weight::quiet, Theme::paper);
    case ToolAccess::confirmFirst: return new MonoTag(localized("需确认"), MonoTag::Weight::solid, Theme::danger);
    case ToolAccess::writes: break;
    }
    return new MonoTag(localized("写入"), MonoTag::Weight::outlined, Theme::warn);
}

QWidget* toolRow(const ToolEntry& entry) {
    auto* holder = new QWidget;
    QHBoxLayout* line = row(holder, 12);
    line->setContentsMargins(16, 8, 16, 8);
    QLabel* name = textLabel(q(entry.name), Typography::mono(Typography::size(TextStyle::callout), QFont::DemiBold),
                             Foreground::primary());
    name->setFixedWidth(nameColumn);
    line->addWidget(name);
    line->addWidget(textLabel(q(entry.title), Typography::font(TextStyle::callout), Foreground::secondary()));
    line->addStretch(1);
    line->addWidget(toolTag(entry.access));
    return holder;
}
}  // namespace

const char* const AgentPage::sampleCommands =
    "ostrevane status\nostrevane suggest --json\nostrevane backup ~/Documents --to ~/Backups";

AgentPage::AgentPage(const PageContext& context, QWidget* parent)
    : AgentPage(context.model->dispatcher(), context.model->executor(),
                QCoreApplication::applicationDirPath().toStdString(), Demo::isActive, parent) {}

AgentPage::AgentPage(Dispatcher& dispatcher, Executor& executor, std::optional<std::string> executableFolder,
                     std::function<bool()> isDemo, QWidget* parent)
    : QWidget(parent),
      dispatcher(dispatcher),
      executor(executor),
      executableFolder(std::move(executableFolder)),
      isDemo(std::move(isDemo)),
      runnerObject(std::make_unique<ClaudeRunner>(dispatcher)) {
    monoSurface(this, Theme::ground);
    runnerObject->onChange = [this] { sync(); };

    auto* content = new QWidget;
    content->setMaximumWidth(PageScroll::maximumColumnWidth);
    QVBoxLayout* blocks = column(content, blockSpacing);
    blocks->setContentsMargins(PageScroll::padding, 0, PageScroll::padding, PageScroll::padding);
    for (QWidget* block : {makeIntro(), makeAskBlock(), makeSetupBlock(), makeToolsBlock()}) blocks->addWidget(block);
    blocks->addStretch(1);

    auto* holder = new QWidget;
    QHBoxLayout* leading = row(holder, 0);
    leading->addWidget(content, 1);
    leading->addStretch(0);

    auto* scroll = new QScrollArea;
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(holder);
    scroll->viewport()->setAutoFillBackground(false);
    attachOverlayIndicator(scroll);
    // Clicked on its background, the page's scrolling frame takes the focus (so
    // the keys scroll it): a reader then hears the page's name.
    scroll->setAccessibleName(q(AppModel::title(AppModel::Section::agent)));
    column(this, 0)->addWidget(scroll);
    syncSetup();
}

AgentPage::~AgentPage() {
    runnerObject->onChange = nullptr;
    if (setupObject) setupObject->onChange = nullptr;
}

std::vector<std::string> AgentPage::examples() {
    return {L("我的磁盘快满了,帮我找出最值得清理的 5 样东西"), L("哪些大文件超过半年没动过?适合归档到网盘吗"),
            L("Downloads 里有什么可以删"), L("开发相关的缓存一共占了多少,怎么清最安全")};
}

QWidget* AgentPage::makeIntro() {
    auto* intro = new QWidget;
    QVBoxLayout* layout = column(intro, 6);
    layout->addWidget(
        textLabel(localized("让 Claude 来管理磁盘"), Typography::font(28, QFont::Black), Foreground::primary()));
    QLabel* lead = textLabel(localized("Ostrevane 的每个能力都同时是一个命令行命令和一个 MCP 工具。接入后,Claude "
                                       "可以自己扫描、分析、提出方案,并在你同意后执行清理和备份。"),
                             Typography::font(TextStyle::callout), Foreground::secondary());
    lead->setWordWrap(true);
    layout->addWidget(lead);
    return intro;
}

QWidget* AgentPage::makeQuestionRow() {
    auto* holder = new QWidget;
    QHBoxLayout* line = row(holder, 8);

    auto* frame = new QuestionFrame;
    auto* inside = new QHBoxLayout(frame);
    inside->setContentsMargins(14, 8, 14, 8);
    field = new QLineEdit;
    field->setFrame(false);
    field->setFixedHeight(Typography::lineHeight(Typography::font(TextStyle::body)));
    field->setPlaceholderText(localized("例如:我的磁盘快满了,先清哪里?"));
    // Screen readers call the question field by its example.
    field->setAccessibleName(field->placeholderText());
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    palette.setColor(QPalette::PlaceholderText, qColor(Theme::paper.rgb, 0.38));
    field->setPalette(palette);
    field->setAttribute(Qt::WA_MacShowFocusRect, false);
    inside->addWidget(field);
    line->addWidget(frame, 1);
    connect(field, &QLineEdit::textChanged, this, [this] { sync(); });
    connect(field, &QLineEdit::returnPressed, this, [this] { ask(); });

    askButton = new MonoButton(localized("提问"), MonoButtonStyle{true, Theme::accent});
    connect(askButton, &QAbstractButton::clicked, this, [this] { ask(); });
    stopButton = new MonoButton(localized("停止"));
    connect(stopButton, &QAbstractButton::clicked, this, [this] { runnerObject->stop(); });
    line->addWidget(askButton);
    line->addWidget(stopButton);
    return holder;
}

QWidget* AgentPage::makeAskBlock() {
    auto* card = new Card(16);
    card->content()->setSpacing(12);
    card->content()->addWidget(makeQuestionRow());

    warning = new SymbolMessage("exclamationmark.triangle.fill", Typography::font(TextStyle::caption, QFont::Bold),
                                qColor(Theme::warn), false);
    warning->setText(localized("没有找到 claude 命令行。安装 Claude Code 后这里就能用。"));
    card->content()->addWidget(warning);

    std::vector<QString> texts;
    for (const auto& example : examples()) texts.push_back(q(example));
    exampleChips = new FlowExamples(texts, [this](const QString& text) { setQuestion(text); });
    card->content()->addWidget(exampleChips);

    progressRow = new QWidget;
    QHBoxLayout* progress = row(progressRow, 8);
    progress->addStretch(1);
    progress->addWidget(new Spinner(ControlSize::small));
    progress->addWidget(textLabel(localized("Claude 正在查看磁盘…(首次扫描可能需要一分钟)"),
                                  Typography::font(TextStyle::callout), Foreground::secondary()));
    progress->addStretch(1);
    card->content()->addWidget(progressRow);

    errorRow = new SymbolMessage("exclamationmark.triangle.fill", Typography::font(TextStyle::callout, QFont::Bold),
                                 qColor(Theme::danger), true);
    card->content()->addWidget(errorRow);

    answerBlock = new QWidget;
    QVBoxLayout* answer = column(answerBlock, 12);
    answer->addWidget(makeDivider());
    answerView = new MarkdownView;
    answerView->setAccessibleName(localized("Claude 的回答"));
    answer->addWidget(answerView);
    card->content()->addWidget(answerBlock);
    return section(localized("直接问 Claude"),
                   localized("通过你本机的 Claude Code 运行,只开放只读工具:它能看、能分析,不会动任何文件。"), card);
}

namespace {
/// An outcome under a step's button, in the caption style, selectable so a
/// failure's reason can be copied.
SymbolMessage* outcomeMessage() {
    return new SymbolMessage("info.circle", Typography::font(TextStyle::caption), Foreground::secondary(), true);
}
}  // namespace

QWidget* AgentPage::makeSetupBlock() {
    auto* card = new Card(16);
    QBoxLayout* steps = card->content();
    steps->setSpacing(14);

    missingTool = new SymbolMessage("exclamationmark.triangle.fill", Typography::font(TextStyle::caption, QFont::Bold),
                                    qColor(Theme::warn), true);
    steps->addWidget(missingTool);

    codeStep = new AgentStep(1, QStringLiteral("Claude Code"));
    registrationLine = new CodeLine({}, localized("拷贝 Claude Code 的接入命令"));
    codeStep->content()->addWidget(registrationLine);
    auto* registerRow = new QHBoxLayout;
    registerRow->setSpacing(8);
    registerButton = new MonoButton(localized("一键接入"));
    connect(registerButton, &QAbstractButton::clicked, this, [this] {
        if (setupObject) setupObject->registerTool();
    });
    registerSpinner = new Spinner(ControlSize::small);
    registerRow->addWidget(registerButton);
    registerRow->addWidget(registerSpinner);
    registerRow->addStretch(1);
    codeStep->content()->addLayout(registerRow);
    registrationMessage = outcomeMessage();
    codeStep->content()->addWidget(registrationMessage);

    auto* desktopStep = new AgentStep(2, QStringLiteral("Claude Desktop"));
    desktopStep->content()->addWidget(captionLabel("在 设置 > 开发者 > 编辑配置 的 mcpServers 中加入:"));
    desktopLine = new CodeLine({}, localized("拷贝 Claude Desktop 的配置"));
    desktopStep->content()->addWidget(desktopLine);

    linkStep = new AgentStep(3, localized("命令行工具"));
    linkStep->content()->addWidget(captionLabel("每个命令都支持 --json,脚本和其他 agent 也能直接调用。"));
    linkStep->content()->addWidget(new CodeLine(QString::fromUtf8(sampleCommands), localized("拷贝示例命令")));
    linkButton = new MonoButton(localized("安装到 ~/.local/bin"));
    connect(linkButton, &QAbstractButton::clicked, this, [this] { pressLink(); });
    linkStep->content()->addWidget(linkButton, 0, Qt::AlignLeft);
    linkConflict = new SymbolMessage("exclamationmark.triangle.fill", Typography::font(TextStyle::caption, QFont::Bold),
                                     qColor(Theme::warn), true);
    linkStep->content()->addWidget(linkConflict);
    linkMessage = outcomeMessage();
    linkStep->content()->addWidget(linkMessage);

    steps->addWidget(codeStep);
    steps->addWidget(makeDivider());
    steps->addWidget(desktopStep);
    steps->addWidget(makeDivider());
    steps->addWidget(linkStep);
    return section(localized("接入你的 Claude"), localized("接入后在任何 Claude 会话里都能说“看看我的磁盘”。"), card);
}

QWidget* AgentPage::makeToolsBlock() {
    auto* card = new Card(0);
    bool first = true;
    for (const ToolEntry& entry : AgentTools::entries(MCPServer::tools())) {
        if (!first) card->content()->addWidget(makeDivider(16));
        first = false;
        card->content()->addWidget(toolRow(entry));
    }
    return section(localized("Claude 可以调用的工具"),
                   localized("会改动文件的工具默认只做试运行,需要你确认后才真正执行;清理一律进废纸篓。"), card);
}

QString AgentPage::question() const { return field->text(); }

void AgentPage::setQuestion(const QString& text) { field->setText(text); }

void AgentPage::ask() {
    const std::string trimmed = Text::trim(field->text().toStdString());
    if (trimmed.empty() || !setupObject || !setupObject->claudePath()) return;
    if (!setupObject->cliPath()) return;
    runnerObject->ask(trimmed, *setupObject->claudePath(), *setupObject->cliPath());
}

void AgentPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (event->spontaneous()) return;
    if (!setupObject) {
        setupObject = std::make_unique<AgentSetup>(dispatcher, executor, executableFolder, isDemo);
        setupObject->onChange = [this] { syncSetup(); };
        // Without the tool there is no path worth copying: the missing tool's reason says why.
        if (const auto& cli = setupObject->cliPath()) {
            registrationLine->setText(q(AgentCommands::registrationCommand(*cli)));
            desktopLine->setText(q(AgentCommands::desktopSnippet(*cli)));
        }
    }
    setupObject->refresh();
    syncSetup();
}

void AgentPage::sync() {
    const ClaudeRunner& runner = *runnerObject;
    const bool canAsk = setupObject && setupObject->claudePath() && setupObject->cliPath();
    askButton->setVisible(!runner.running());
    stopButton->setVisible(runner.running());
    askButton->setEnabled(hasContent(field->text()) && canAsk);
    warning->setVisible(setupObject && setupObject->checked() && !setupObject->claudePath());
    exampleChips->setVisible(runner.answer().empty() && !runner.running() && !runner.error());
    progressRow->setVisible(runner.running() && runner.answer().empty());
    errorRow->setVisible(runner.error().has_value());
    if (runner.error()) errorRow->setText(q(*runner.error()));
    answerBlock->setVisible(!runner.answer().empty());
    answerView->setAnswer(runner.answer());
}

namespace {
void showMessage(SymbolMessage* message, const std::optional<std::string>& text) {
    message->setVisible(text.has_value());
    if (text) message->setText(q(*text));
}
}  // namespace

void AgentPage::syncSetup() {
    sync();
    const AgentSetup* setup = setupObject.get();
    const bool registered = setup && setup->registered().value_or(false);
    const bool working = setup && setup->working();
    const bool linked = setup && setup->linkInstalled();
    const std::optional<std::string> missing = setup ? setup->missingToolReason() : std::nullopt;
    const QString missingText = missing ? q(*missing) : QString();
    showMessage(missingTool, missing);
    registrationLine->setVisible(!missing);
    desktopLine->setVisible(!missing);

    codeStep->setDone(registered);
    registerButton->setLabel(registered ? localized("已接入") : localized("一键接入"));
    registerButton->setEnabled(setup && setup->claudePath() && !missing && !registered && !working);
    registerButton->setToolTip(missingText);
    registerSpinner->setVisible(working);
    showMessage(registrationMessage, setup ? setup->registrationMessage() : std::nullopt);

    // Installing cannot get past a file or folder of the user's: the button
    // checks again instead, beside what to do about it.
    const std::optional<std::string> conflict = setup && !missing ? setup->linkConflict() : std::nullopt;
    const std::optional<std::string> outcome = setup ? setup->linkMessage() : std::nullopt;
    linkStep->setDone(linked);
    linkButton->setLabel(linked     ? localized("已安装到 ~/.local/bin")
                         : conflict ? localized("重新检查")
                                    : localized("安装到 ~/.local/bin"));
    linkButton->setEnabled(setup && !missing && !linked);
    linkButton->setToolTip(conflict ? q(*conflict) : missingText);
    // What the step says under the button is the button's description, so a
    // screen reader on it hears what a press brought.
    const std::optional<std::string> said = conflict ? conflict : outcome;
    linkButton->setAccessibleDescription(said ? q(*said) : QString());
    showMessage(linkConflict, conflict);
    showMessage(linkMessage, outcome);
}

void AgentPage::pressLink() {
    if (!setupObject) return;
    if (setupObject->linkConflict())
        setupObject->checkLink();
    else
        setupObject->installLink();
    // Said again even when it reads as before: the press was heard.
    Accessibility::announceDescription(linkButton);
    // The answer lies under the button, which Tab scrolled only just into
    // view: bring it in too, once the step has made room for it.
    QTimer::singleShot(0, this, [this] {
        for (SymbolMessage* message : {linkMessage, linkConflict})
            if (message->isVisible()) return FocusChain::scrollTo(message);
    });
}
