#include "app/devicewindows.h"

#include "devices/b7720qmain.h"
#include "devices/c3940fmain.h"
#include "devices/krvmain.h"
#include "devices/m7051main.h"
#include "devices/mlxmain.h"
#include "devices/zdltmain.h"
#include "meter/setmain.h"

namespace {
template <typename Window>
DeviceWindowOpener modalOpener(Window *&global)
{
    return [&global](DeviceHost &host, QWidget *owner) {
        Window window(host, owner);
        global = &window;
        // Blocks its owner only, so the bus monitor stays usable beside it.
        window.setWindowModality(Qt::WindowModal);
        window.exec();
        global = nullptr;
    };
}
} // namespace

DeviceWindowOpener StandardWindowOpener(DeviceWindowKind kind)
{
    switch (kind) {
    case DeviceWindowKind::KRV: return modalOpener(FKRV);
    case DeviceWindowKind::ZDLT: return modalOpener(FZDLT);
    case DeviceWindowKind::M7051: return modalOpener(FM7051);
    case DeviceWindowKind::MLX: return modalOpener(FMLX);
    case DeviceWindowKind::B7720Q: return modalOpener(FB7720Q);
    case DeviceWindowKind::C3940F: return modalOpener(FC3940F);
    case DeviceWindowKind::SET4TM: return modalOpener(FSET4TM);
    case DeviceWindowKind::None: break;
    }
    return {};
}
