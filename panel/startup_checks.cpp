// The check of the application folder and of JRE_BK_HOME, once at every start, before the
// window shows and before the tray icon exists: a branch that ends the program leaves
// nothing behind.
#include "environment/env_store.h"
#include "environment/runtime_folder.h"
#include "panel/main_window.h"

namespace oapanel {

namespace {
const char kCR[] = "\r";
}  // namespace

void MainWindow::RefuseToRun(const std::string& reason) {
    os_.app().messageBox("运行路径：[" + appPath_ + "]" + kCR + kCR + reason, platform::kMbIconStop,
                         os_.app().appTitle());
    End(0);
}

void MainWindow::StoreRuntimeHome(const std::string& runtime) {
    // Without it the panel would ask to be started again, on every start, for ever.
    if (!SetSystemEnv(os_, "JRE_BK_HOME", runtime))
        RefuseToRun("无法设置环境变量 JRE_BK_HOME，请以管理员身份运行");
}

void MainWindow::CheckRunEnvironment() {
    const std::string runtime = appPath_ + "\\jre16bk";
    const std::string runtimeBin = runtime + "\\bin";
    if (const std::string problem = FolderProblem(os_.codec(), runtime); !problem.empty())
        RefuseToRun(problem);

    const std::string stored = GetSystemEnv(os_, "JRE_BK_HOME");
    if (stored.empty()) {
        os_.app().messageBox(std::string("您第一次运行管理中心，正在自动设置环境变量，请重新运行") +
                                 kCR + kCR + "JRE_BK_HOME = [" + runtime + "]",
                             platform::kMbOk, os_.app().appTitle());
        StoreRuntimeHome(runtime);
        AddToUserPath(os_, runtimeBin);
        BroadcastEnvironmentChange(os_);
        End(0);
    }
    if (stored == runtime || stored == runtime + '\0') return;

    const int answer =
        os_.app().messageBox(std::string("您系统中已经设置的环境变量 JRE_BK_HOME "
                                         "和当前运行的目录不一致，是否改为当前环境变量？") +
                                 kCR + kCR + "当前环境变量 = [" + runtime + "]" + kCR +
                                 "已设环境变量 = [" + stored + "]",
                             platform::kMbOkCancel, os_.app().appTitle());
    if (answer != platform::kIdOk) return;
    StoreRuntimeHome(runtime);
    AddToUserPath(os_, runtimeBin);
    system_.RemoveServices();
    os_.app().messageBox("请重新运行", platform::kMbOk, os_.app().appTitle());
    BroadcastEnvironmentChange(os_);
    End(0);
}

}  // namespace oapanel
