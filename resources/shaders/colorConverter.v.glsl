#version 400 core

// Colour-converter program, vertex stage.

in vec4 inCCVertexPos;
in vec2 inCCTextCoordinate;

uniform mat4 uniCCMatrix;

out vec2 varCCTextCoordinate;

void main()
{
    gl_Position = uniCCMatrix * vec4(inCCVertexPos.xy, 0.0, 1.0);
    varCCTextCoordinate = inCCTextCoordinate;
}
