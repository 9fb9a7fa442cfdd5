#include "app/Engine.h"

Engine::Engine(QObject* parent)
    : QObject(parent)
{
}

Engine::~Engine() = default;
