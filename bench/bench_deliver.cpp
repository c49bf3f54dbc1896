// Delivery speed through the command line at 100,000 recipients (see common/DeliverBench.h).
#include "common/DeliverBench.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    return RunDeliverBench(100000, "deliver");
}
