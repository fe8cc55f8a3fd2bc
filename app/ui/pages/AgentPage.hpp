// The agent section's page: ask `claude` about the disk with the read-only
// tools, set up the tool for Claude Code, Claude Desktop and the terminal,
// and list the MCP server's tools with what each may do.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct PageContext;
class AgentSetup;
class AgentStep;
class ClaudeRunner;
class CodeLine;
class Dispatcher;
class Executor;
class FlowExamples;
class MarkdownView;
class MonoButton;
class QLabel;
class QLineEdit;
class Spinner;
class SymbolMessage;

class AgentPage : public QWidget {
    Q_OBJECT
public:
    /// Runs on the model's dispatcher and executor. The tool is looked for
    /// beside the application's executable; the demo flag is the demo data
    /// set's. Starts nothing: the setup is created and refreshed when the page
    /// is first shown, and refreshed at every later showing; its checks fill in later.
    explicit AgentPage(const PageContext& context, QWidget* parent = nullptr);
    /// The same with its own `dispatcher` (the UI thread's) and `executor`
    /// (where the setup's checks run), which outlive the page, and the tool's
    /// folder and the demo flag given: for tests and the snapshot.
    AgentPage(Dispatcher& dispatcher, Executor& executor, std::optional<std::string> executableFolder,
              std::function<bool()> isDemo, QWidget* parent = nullptr);
    /// Ends a running question with the page.
    ~AgentPage() override;

    /// The example questions, localised, in order.
    static std::vector<std::string> examples();
    /// The three sample commands of the terminal step.
    static const char* const sampleCommands;

    /// The setup, once the page has been shown (none before).
    AgentSetup* setup() const { return setupObject.get(); }
    ClaudeRunner& runner() const { return *runnerObject; }
    /// The question field's text.
    QString question() const;
    void setQuestion(const QString& text);
    /// Asks the trimmed question when it is not empty and `claude` is known.
    void ask();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* makeIntro();
    QWidget* makeAskBlock();
    QWidget* makeSetupBlock();
    QWidget* makeToolsBlock();
    QWidget* makeQuestionRow();
    void sync();
    void syncSetup();
    /// The link step's button: installs, or checks again while something is in the way.
    void pressLink();

    Dispatcher& dispatcher;
    Executor& executor;
    std::optional<std::string> executableFolder;
    std::function<bool()> isDemo;
    std::unique_ptr<AgentSetup> setupObject;
    std::unique_ptr<ClaudeRunner> runnerObject;

    QLineEdit* field = nullptr;
    MonoButton* askButton = nullptr;
    MonoButton* stopButton = nullptr;
    SymbolMessage* warning = nullptr;
    FlowExamples* exampleChips = nullptr;
    QWidget* progressRow = nullptr;
    SymbolMessage* errorRow = nullptr;
    QWidget* answerBlock = nullptr;
    MarkdownView* answerView = nullptr;

    AgentStep* codeStep = nullptr;
    AgentStep* linkStep = nullptr;
    CodeLine* registrationLine = nullptr;
    CodeLine* desktopLine = nullptr;
    MonoButton* registerButton = nullptr;
    Spinner* registerSpinner = nullptr;
    MonoButton* linkButton = nullptr;
    SymbolMessage* missingTool = nullptr;
    SymbolMessage* registrationMessage = nullptr;
    SymbolMessage* linkConflict = nullptr;
    SymbolMessage* linkMessage = nullptr;
};
