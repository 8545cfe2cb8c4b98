#include "trasvik/gateway_main.h"

int main(int argc, char** argv) { return trasvik::runGateway(argc, argv); }
