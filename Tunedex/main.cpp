// tunedex: the player's PC software. The PC's folders on the left, the
// player's memories on the right, the maintenance commands in the Tool menu.
#include "MainFrm.h"

int main(int argc, char **argv)
{
    CTunedexApp app(argc, argv);
    if (!app.initInstance())
        return app.exitInstance(1);
    return app.exitInstance(app.exec());
}
