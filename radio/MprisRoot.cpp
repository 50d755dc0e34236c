#include "radio/MprisRoot.h"

#include "radio/Mpris.h"

MprisRoot::MprisRoot(Mpris* owner) : QDBusAbstractAdaptor(owner), m_owner(*owner)
{
    setAutoRelaySignals(false);
}

void MprisRoot::Raise()
{
    m_owner.Raise();
}

void MprisRoot::Quit()
{
    m_owner.Quit();
}
