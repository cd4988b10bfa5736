#include "environment/runtime_folder.h"

#include <algorithm>

namespace oapanel {

namespace {

std::size_t CharacterCount(const std::string& utf8) {
    return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

}  // namespace

std::string FolderProblem(platform::TextCodec& codec, const std::string& strRuntime) {
    if (strRuntime.find(' ') != std::string::npos)
        return "路径不能包含空格、中文，请更换路径后重新运行";
    if (codec.toAnsi(strRuntime).size() != CharacterCount(strRuntime))
        return "路径不能包含中文、空格，请更换路径后重新运行";
    if (strRuntime.find_first_of("&|<>^%") != std::string::npos)
        return "路径不能包含特殊字符（& | < > ^ %），请更换路径后重新运行";
    return {};
}

}  // namespace oapanel
