#version 400 core

// Grading program, vertex stage: places the two triangles and hands the
// frame texture coordinate to the fragment stage.

in vec4 inVertexPos;
in vec2 inTextCoordinate;

uniform mat4 uniMatrix;

out vec2 varTextCoordinate;

void main()
{
    gl_Position = uniMatrix * inVertexPos;
    varTextCoordinate = inTextCoordinate;
}
