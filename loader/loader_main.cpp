// lumora-loader: decodes the files the program hands it, every format but EMF.
#include "loader/LoaderWorker.h"

int main(int argc, char **argv)
{
    return lumora::loader::runWorker(argc, argv,
                                     {"lumora-loader", lumora::loader::generalCodecs()});
}
