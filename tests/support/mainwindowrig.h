#pragma once

#include "app/mainwindow.h"
#include "bus/buschannel.h"
#include "sim/bus.h"
#include "sim/simlink.h"
#include "widgets/radiogroup.h"
#include "widgets/rxspinedit.h"

#include <memory>

// The main window shown on an in-process bus, at 115200 bit/s and a 100 ms poll
// timeout, so that a search in a test is quick.
inline std::unique_ptr<TFOrvekConfigurator> mainWindowOn(sim::Bus &bus)
{
    auto main = std::make_unique<TFOrvekConfigurator>();
    main->channel().setLinkFactory(sim::simLinkFactory(bus));
    main->show();
    main->RadioGroup1->setItemIndex(7); // 115200
    main->RxSpinEdit4->setValue(100);
    return main;
}
