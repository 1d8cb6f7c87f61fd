// tunedex: the player's PC software. The PC's folders on the left, the
// player's memories on the right, the maintenance commands in the Tool menu.
#include "MainFrm.h"
#include "cmdline.h"

#include <cstdio>

int main(int argc, char **argv)
{
    const int answered = tunedex::AnswerInfoOptions(argc, argv, stdout);
    if (answered >= 0)
        return answered;
    CTunedexApp app(argc, argv);
    const int rejected = tunedex::RejectRemainingArguments(argc, argv, stderr);
    if (rejected >= 0)
        return rejected;
    if (!app.initInstance())
        return app.exitInstance(1);
    return app.exitInstance(app.exec());
}
