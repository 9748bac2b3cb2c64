#include "BootstrapTemplateHelper.h"

#include "Utilities.h"
#include "VagrantFileTemplateHelper.h"

namespace vesk {

std::optional<QString> BootstrapTemplateHelper::templateString()
{
    std::optional<QString> text = readTemplate(QStringLiteral("BootstrapTemplate.txt"));
    if (text)
        text->replace(QStringLiteral("{{{date}}}"), shortDateString());
    return text;
}

} // namespace vesk
