// Delivery speed through the command line at 1,000,000 recipients (see common/DeliverBench.h):
// whether the write-ahead log and the memory stay flat over a delivery ten times longer.
#include "common/DeliverBench.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    return RunDeliverBench(1000000, "scale.deliver");
}
