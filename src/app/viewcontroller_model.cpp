// The layer graph editor and its catalogue.
#include "app/viewcontroller.h"

#include "app/prompter.h"

void ViewController::buildModelViews() {}
const nlohmann::ordered_json& ViewController::editorDocument() const
{
    static const nlohmann::ordered_json none;
    return none;
}

void ViewController::displayModelGraph(std::optional<bool>)
{
}
